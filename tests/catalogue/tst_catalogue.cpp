// Listing roots: scans, the result cache, Refresh, and cancelling a running scan.
#include "app/session/session.h"
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_view.h"
#include "catalogue/result_table_model.h"
#include "fakes.h"

#include <QSignalSpy>
#include <QtTest>

using namespace pelmora;
using namespace pelmora::test;

namespace {

struct Fixture
{
    FakeTree tree;
    FakeEnumeratorFactory folders{tree};
    QRV_Public session;
    ResultTableModel grid;
    SilentCatalogueView view;
    Catalogue catalogue{session, grid, folders, view};

    Fixture()
    {
        tree.add_folder("/a/", {file("z.xls"), dir("s"), file("b.xls"), file("m.doc")});
        tree.add_folder("/a/s/", {file("c.xls"), file("d.doc")});
        tree.add_folder("/b/", {file("only.xls")});
        tree.add_folder("/empty/", {file("note.txt")});
    }

    // Lists a root and waits until the listing is complete.
    bool list(const QString& root)
    {
        QSignalSpy done(&catalogue, &Catalogue::listing_finished);
        catalogue.list_drive(root);
        return done.count() > 0 || done.wait(5000);
    }
    bool refresh(const QString& root)
    {
        QSignalSpy done(&catalogue, &Catalogue::listing_finished);
        catalogue.refresh_list(root);
        return done.count() > 0 || done.wait(5000);
    }
    QStringList rows() const
    {
        QStringList out;
        for (qsizetype i = 0; i < grid.size(); ++i)
            out.append(grid.text(i, 1) + grid.text(i, 0));
        return out;
    }
};

} // namespace

class TestCatalogue : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void a_scan_lists_every_hit_sorted_by_folder()
    {
        Fixture f;
        QVERIFY(f.list(QStringLiteral("/a/")));
        // Walk order within a folder survives the sort by folder.
        QCOMPARE(f.rows(), (QStringList{"/a/z.xls", "/a/b.xls", "/a/s/c.xls"}));
        QCOMPARE(f.view.countText, QStringLiteral("3"));
        QCOMPARE(f.session.grid_row - 1, f.grid.size());
        QCOMPARE(f.session.drive_listed, 1);
        QVERIFY(!f.catalogue.scanning());
        // The cache keeps the walk order, not the sorted one.
        const CachedList* c =
            f.session.cache.find(list_key(QStringLiteral("/a/"), QStringLiteral("X")));
        QVERIFY(c);
        QCOMPARE(c->names, (QStringList{"z.xls", "c.xls", "b.xls"}));
        QCOMPARE(c->dirs, (QStringList{"/a/", "/a/s/", "/a/"}));
        for (qsizetype i = 0; i < f.grid.size(); ++i)
            QCOMPARE(f.grid.cell_background(i, 1), wincolor::FolderCell);
    }

    void a_cached_root_is_shown_without_touching_the_file_system()
    {
        Fixture f;
        QVERIFY(f.list(QStringLiteral("/a/")));
        QVERIFY(f.list(QStringLiteral("/b/")));
        const int opened = f.folders.roots_opened.load();
        const int listed = f.folders.folders_listed.load();
        QVERIFY(f.list(QStringLiteral("/a/")));
        QCOMPARE(f.folders.roots_opened.load(), opened);
        QCOMPARE(f.folders.folders_listed.load(), listed);
        QCOMPARE(f.rows(), (QStringList{"/a/z.xls", "/a/b.xls", "/a/s/c.xls"}));
        QCOMPARE(f.view.countText, QStringLiteral("3"));
        QCOMPARE(f.session.grid_row - 1, f.grid.size());
    }

    void each_type_has_its_own_list()
    {
        Fixture f;
        QVERIFY(f.list(QStringLiteral("/a/")));
        f.session.doc_type = DocType::word();
        f.catalogue.set_suffix_filter(QStringLiteral("DOC"));
        QVERIFY(f.list(QStringLiteral("/a/")));
        QCOMPARE(f.rows(), (QStringList{"/a/m.doc", "/a/s/d.doc"}));
        QCOMPARE(f.folders.roots_opened.load(), 2);
        f.session.doc_type = DocType::excel();
        f.catalogue.set_suffix_filter(QStringLiteral("XLS"));
        QVERIFY(f.list(QStringLiteral("/a/")));
        QCOMPARE(f.folders.roots_opened.load(), 2); // the Excel list came from the cache
        QCOMPARE(f.view.countText, QStringLiteral("3"));
    }

    void a_scan_without_hits_is_not_cached()
    {
        Fixture f;
        QVERIFY(f.list(QStringLiteral("/empty/")));
        QCOMPARE(f.grid.size(), 0);
        QCOMPARE(f.view.countText, QStringLiteral("0"));
        QVERIFY(f.list(QStringLiteral("/empty/")));
        QCOMPARE(f.folders.roots_opened.load(), 2);
    }

    void refresh_replaces_the_cached_list()
    {
        Fixture f;
        QVERIFY(f.list(QStringLiteral("/b/")));
        f.tree.add_folder("/b/", {file("new.xls"), file("only.xls")});
        QVERIFY(f.refresh(QStringLiteral("/b/")));
        QCOMPARE(f.rows(), (QStringList{"/b/new.xls", "/b/only.xls"}));
        QVERIFY(f.list(QStringLiteral("/a/")));
        QVERIFY(f.list(QStringLiteral("/b/")));
        // Exactly the hits of the last rescan, each once.
        QCOMPARE(f.rows(), (QStringList{"/b/new.xls", "/b/only.xls"}));
        QCOMPARE(f.session.cache.count(list_key(QStringLiteral("/b/"), QStringLiteral("X"))), 2);
    }

    void listing_another_root_cancels_the_running_scan()
    {
        Fixture f;
        f.folders.hold_at("/a/s/");
        QSignalSpy done(&f.catalogue, &Catalogue::listing_finished);
        f.catalogue.list_drive(QStringLiteral("/a/"));
        QVERIFY(f.folders.wait_until_held());
        QVERIFY(f.catalogue.scanning());
        // Let the first batch ("z.xls") reach the grid and the cache.
        QTest::qWait(300);
        f.folders.release();
        QVERIFY(f.list(QStringLiteral("/b/")));
        QCOMPARE(done.count(), 1); // only the second listing finished
        QTest::qWait(300);         // any stale batch of the first scan would land now
        QCOMPARE(f.rows(), QStringList{"/b/only.xls"});
        const QString keyA = list_key(QStringLiteral("/a/"), QStringLiteral("X"));
        QVERIFY(!f.session.cache.has_cached_list(keyA));
        QCOMPARE(f.session.cache.count(list_key(QStringLiteral("/b/"), QStringLiteral("X"))), 1);
        // Coming back to the cancelled root scans it again, completely.
        QVERIFY(f.list(QStringLiteral("/a/")));
        QCOMPARE(f.rows(), (QStringList{"/a/z.xls", "/a/b.xls", "/a/s/c.xls"}));
    }

    void many_hits_are_counted_beyond_sixteen_bits()
    {
        Fixture f;
        std::vector<FolderEntry> big;
        big.reserve(40000);
        for (int i = 0; i < 40000; ++i)
            big.push_back(file("f" + std::to_string(i) + ".xls"));
        f.tree.add_folder("/big/", big);
        QVERIFY(f.list(QStringLiteral("/big/")));
        QCOMPARE(f.grid.size(), 40000);
        QCOMPARE(f.view.countText, QStringLiteral("40000"));
        QCOMPARE(f.session.hit_count, 40000);
        QVERIFY(f.list(QStringLiteral("/b/")));
        QVERIFY(f.list(QStringLiteral("/big/")));
        QCOMPARE(f.grid.size(), 40000);
        QCOMPARE(f.grid.text(39999, 0), QStringLiteral("f39999.xls"));
    }
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
