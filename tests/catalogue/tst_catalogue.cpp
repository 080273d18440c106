// SPDX-License-Identifier: GPL-3.0-or-later
// Listing roots: scans, the result cache, Refresh, and cancelling a running scan.
#include "base/native_path.h"
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_view.h"
#include "catalogue/result_table_model.h"
#include "fakes.h"
#include "session/session.h"

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
    RecordingMainView window;
    Catalogue catalogue{session, grid, folders, view, window};

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
        catalogue.list_drive(Path(root));
        return done.count() > 0 || done.wait(5000);
    }
    bool refresh(const QString& root)
    {
        QSignalSpy done(&catalogue, &Catalogue::listing_finished);
        catalogue.refresh_list(Path(root));
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
        // By folder, and within a folder by file name.
        QCOMPARE(f.rows(), (QStringList{"/a/b.xls", "/a/z.xls", "/a/s/c.xls"}));
        QCOMPARE(f.view.countText, QStringLiteral("3"));
        QCOMPARE(f.session.grid_row - 1, f.grid.size());
        QCOMPARE(f.session.drive_listed, 1);
        QVERIFY(!f.catalogue.scanning());
        // The cache keeps the walk order, not the sorted one.
        const HitList* c =
            f.session.cache.find(list_key(QStringLiteral("/a/"), QStringLiteral("X")));
        QVERIFY(c);
        QStringList names, dirs;
        for (std::size_t i = 0; i < c->size(); ++i) {
            names.append(c->name_text(i));
            dirs.append(c->folder_text(i));
        }
        QCOMPARE(names, (QStringList{"z.xls", "c.xls", "b.xls"}));
        QCOMPARE(dirs, (QStringList{"/a/", "/a/s/", "/a/"}));
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
        QCOMPARE(f.rows(), (QStringList{"/a/b.xls", "/a/z.xls", "/a/s/c.xls"}));
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
        f.catalogue.list_drive(Path(QStringLiteral("/a/")));
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
        QCOMPARE(f.rows(), (QStringList{"/a/b.xls", "/a/z.xls", "/a/s/c.xls"}));
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
        // Sorted by name within the one folder, in byte order.
        QCOMPARE(f.grid.text(0, 0), QStringLiteral("f0.xls"));
        QCOMPARE(f.grid.text(1, 0), QStringLiteral("f1.xls"));
        QCOMPARE(f.grid.text(2, 0), QStringLiteral("f10.xls"));
        QCOMPARE(f.grid.text(39999, 0), QStringLiteral("f9999.xls"));
    }

    void a_large_list_is_sorted_off_the_thread_and_the_listing_ends_sorted()
    {
        Fixture f;
        // More rows than are sorted at once, over many folders in reverse order.
        const int folders = 500, perFolder = 80;
        std::vector<FolderEntry> top;
        for (int d = folders - 1; d >= 0; --d) {
            const std::string name = "d" + std::to_string(1000 + d);
            top.push_back(dir(name));
            std::vector<FolderEntry> files;
            for (int i = perFolder - 1; i >= 0; --i)
                files.push_back(file("n" + std::to_string(100 + i) + ".xls"));
            f.tree.add_folder("/large/" + name + "/", files);
        }
        f.tree.add_folder("/large/", top);
        QVERIFY(std::size_t(folders * perFolder) > ResultTableModel::kSortInPlaceRows);
        QSignalSpy done(&f.catalogue, &Catalogue::listing_finished);
        f.catalogue.list_drive(Path(QStringLiteral("/large/")));
        QVERIFY(done.wait(10000));
        QVERIFY(!f.catalogue.scanning());
        QCOMPARE(f.grid.size(), folders * perFolder);
        QCOMPARE(f.grid.text(0, 1), QStringLiteral("/large/d1000/"));
        QCOMPARE(f.grid.text(0, 0), QStringLiteral("n100.xls"));
        for (qsizetype i = 1; i < f.grid.size(); ++i) {
            const QString a = f.grid.text(i - 1, 1) + QLatin1Char('\n') + f.grid.text(i - 1, 0);
            const QString b = f.grid.text(i, 1) + QLatin1Char('\n') + f.grid.text(i, 0);
            QVERIFY2(a < b, qPrintable(a + " / " + b));
        }
        // From the cache: sorted again the same way, off the thread too.
        QVERIFY(f.list(QStringLiteral("/b/")));
        QVERIFY(f.list(QStringLiteral("/large/")));
        QCOMPARE(f.grid.text(f.grid.size() - 1, 1), QStringLiteral("/large/d1499/"));
        QCOMPARE(f.grid.text(f.grid.size() - 1, 0), QStringLiteral("n179.xls"));
        // A header click on the name column: by name, then by folder.
        f.grid.sort(ResultTableModel::NameColumn);
        QTRY_COMPARE(f.grid.sorting(), false);
        QCOMPARE(f.grid.text(0, 0) + f.grid.text(0, 1), QStringLiteral("n100.xls/large/d1000/"));
        QCOMPARE(f.grid.text(1, 0) + f.grid.text(1, 1), QStringLiteral("n100.xls/large/d1001/"));
    }

    void header_clicks_sort_by_that_column()
    {
        Fixture f;
        QVERIFY(f.list(QStringLiteral("/a/")));
        f.grid.sort(ResultTableModel::NameColumn);
        QCOMPARE(f.rows(), (QStringList{"/a/b.xls", "/a/s/c.xls", "/a/z.xls"}));
        f.grid.sort(ResultTableModel::FolderColumn);
        QCOMPARE(f.rows(), (QStringList{"/a/b.xls", "/a/z.xls", "/a/s/c.xls"}));
    }

    void names_that_are_not_utf8_are_kept_exactly_and_shown_readably()
    {
        Fixture f;
        // "caf\xe9" (Latin-1) beside its lossy look-alike "caf\uFFFD", in a Shift_JIS folder.
        f.tree.add_folder("/raw/", {dir("\x95\xf1\x8d\x90")});
        f.tree.add_folder("/raw/\x95\xf1\x8d\x90/",
                          {file("caf\xe9.xls"), file("caf\xef\xbf\xbd.xls")});
        QVERIFY(f.list(QStringLiteral("/raw/")));
        QCOMPARE(f.grid.size(), 2);
        QSet<QByteArray> exact;
        for (qsizetype i = 0; i < f.grid.size(); ++i)
            exact.insert(native_path::to_native(f.grid.text(i, 1) + f.grid.text(i, 0)));
        QCOMPARE(exact, (QSet<QByteArray>{"/raw/\x95\xf1\x8d\x90/caf\xe9.xls",
                                          "/raw/\x95\xf1\x8d\x90/caf\xef\xbf\xbd.xls"}));
        // The grid shows the folder decoded as Shift_JIS, and the stray byte as U+FFFD.
        const QModelIndex folder = f.grid.index(0, ResultTableModel::FolderColumn);
        QCOMPARE(f.grid.data(folder, Qt::DisplayRole).toString(), QStringLiteral("/raw/報告/"));
        QStringList shown;
        for (int r = 0; r < 2; ++r)
            shown.append(f.grid.data(f.grid.index(r, 0), Qt::DisplayRole).toString());
        QCOMPARE(shown,
                 (QStringList{QStringLiteral("caf\uFFFD.xls"), QStringLiteral("caf\uFFFD.xls")}));
        // The cache keeps the same exact bytes.
        const HitList* c =
            f.session.cache.find(list_key(QStringLiteral("/raw/"), QStringLiteral("X")));
        QVERIFY(c);
        QCOMPARE(c->name(0), std::string_view("caf\xe9.xls"));
        QCOMPARE(c->name(1), std::string_view("caf\xef\xbf\xbd.xls"));
    }
};

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
