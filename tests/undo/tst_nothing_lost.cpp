// SPDX-License-Identifier: GPL-3.0-or-later
// Undo, replace, cross-device moves and commands started inside another never lose a file:
// the real commands on the real shell layer, on real files in a temporary folder.
#include "command_harness.h"
#include "second_file_system.h"
#include "temporary_home.h"
#include "unprivileged.h"

#include <QDirIterator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

const QString kUndone = QStringLiteral("1つ前の操作を取り消しました");
const QString kUndoFailed = QStringLiteral("1つ前の操作の取消しに失敗しました");
const QString kCannot = QStringLiteral("1つ前の操作を元に戻せませんでした");
const QString kMoveFailed = QStringLiteral("ファイルの移動に失敗しました");
const QString kCopyFailed = QStringLiteral("ファイルのコピーに失敗しました");

QString copied_row(const QString& dst)
{
    return QStringLiteral("コピーしたファイル(") + dst + QStringLiteral(")を 削除しました");
}
QString copy_kept_row(const QString& dst)
{
    return QStringLiteral("コピーしたファイル(") + dst + QStringLiteral(")を 削除できませんでした");
}
QString moved_back_row(const QString& dst, const QString& src)
{
    return QStringLiteral("移動したファイル(") + dst + QStringLiteral(")を ") + src +
           QStringLiteral("へ戻しました");
}
QString not_moved_back_row(const QString& dst, const QString& src)
{
    return QStringLiteral("移動したファイル(") + dst + QStringLiteral(")を ") + src +
           QStringLiteral("へ戻せませんでした");
}
QString restored_row(const QString& path)
{
    return QStringLiteral("置き換えたファイル(") + path +
           QStringLiteral(")を ごみ箱から戻しました");
}

} // namespace

class TestNothingLost : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        use_temporary_home(m_home);
    }

    // 1. A copy edited since, or replaced by another file, survives its undo.
    void undo_keeps_a_copy_the_user_changed_or_replaced()
    {
        Harness h;
        QVERIFY(h.tree.createFile("a.xls", "original"));
        QVERIFY(h.tree.createFile("b.xls", "original b"));
        QVERIFY(h.tree.createFile("c.xls", "original c"));
        QVERIFY(h.tree.createDir("dst"));
        h.mark({"a.xls", "b.xls", "c.xls"});
        h.transfer(TransferKind::Copy, "dst");
        QCOMPARE(h.shown(), QStringList{QStringLiteral("ファイルは正常にコピーされました")});
        QVERIFY(edit(h.p("dst/a.xls"), "two hours of work"));
        QVERIFY(QFile::remove(h.p("dst/b.xls")));
        QVERIFY(h.tree.createFile("dst/b.xls", "original b")); // same bytes, another file
        h.forget_output();

        h.undo();
        QCOMPARE(read_all(h.p("dst/a.xls")), QByteArray("two hours of work"));
        QCOMPARE(read_all(h.p("dst/b.xls")), QByteArray("original b"));
        QVERIFY(!QFile::exists(h.p("dst/c.xls")));
        QCOMPARE(h.rows(),
                 (QStringList{copy_kept_row(h.p("dst/a.xls")), copy_kept_row(h.p("dst/b.xls")),
                              copied_row(h.p("dst/c.xls")), history::kFailureText}));
        QCOMPARE(h.shown().back(), kUndoFailed);
        QVERIFY(!h.undoEnabled);
    }

    // 2. Copy or move onto an existing file, then undo: the file that was there comes back.
    void undo_of_a_replacing_copy_or_move_gives_the_old_file_back()
    {
        for (const TransferKind kind : {TransferKind::Copy, TransferKind::Move}) {
            Harness h;
            QVERIFY(h.tree.createFile("a.xls", "new"));
            QVERIFY(h.tree.createFile("dst/a.xls", "old"));
            h.window.single = true;
            h.session.sel_dir = Path(h.p(QString()));
            h.session.sel_file = Path(QStringLiteral("a.xls"));
            h.messages.answers = {MsgAnswer::Yes};
            h.transfer(kind, "dst");
            QCOMPARE(read_all(h.p("dst/a.xls")), QByteArray("new"));
            h.forget_output();

            h.undo();
            QCOMPARE(read_all(h.p("dst/a.xls")), QByteArray("old"));
            const QString first = kind == TransferKind::Copy
                                      ? copied_row(h.p("dst/a.xls"))
                                      : moved_back_row(h.p("dst/a.xls"), h.p("a.xls"));
            QCOMPARE(h.rows(), (QStringList{first, restored_row(h.p("dst/a.xls"))}));
            QCOMPARE(h.shown().back(), kUndone);
            QCOMPARE(read_all(h.p("a.xls")), QByteArray("new"));
            QCOMPARE(QDir(h.p("dst")).entryList(QDir::Files | QDir::Hidden),
                     QStringList{QStringLiteral("a.xls")});
        }
    }

    // 3. An archive updated again since the compression is not deleted by its undo.
    void undo_of_a_compression_spares_an_archive_updated_since()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("lhasa")).isEmpty())
            QFAIL("lhasa is not installed (scripts/install-deps.sh --test installs it)");
        Harness h;
        QVERIFY(h.tree.createFile("a.xls", "to pack"));
        QVERIFY(h.tree.createDir("arc"));
        h.window.single = true;
        h.session.sel_dir = Path(h.p(QString()));
        h.session.sel_file = Path(QStringLiteral("a.xls"));
        h.compress("arc/", QStringLiteral("PACK"));
        QCOMPARE(h.shown(), QStringList{QStringLiteral("選択XLSファイルを圧縮しました")});
        const QString archive = h.p("arc/PACK.LZH");
        QByteArray later = read_all(archive);
        later.append("appended by another program");
        QVERIFY(edit(archive, later));
        h.forget_output();

        h.undo();
        QCOMPARE(read_all(archive), later);
        QCOMPARE(h.rows(), (QStringList{QStringLiteral("作成した書庫ファイル(") + archive +
                                            QStringLiteral(")を 削除できませんでした"),
                                        history::kFailureText}));
        QCOMPARE(h.shown().back(), kUndoFailed);
    }

    // 4. Two marked files with one name: the second does not replace the first.
    void two_marked_files_never_land_on_one_destination()
    {
        for (const TransferKind kind : {TransferKind::Move, TransferKind::Copy}) {
            Harness h;
            QVERIFY(h.tree.createFile("x/a.xls", "from x"));
            QVERIFY(h.tree.createFile("y/a.xls", "from y"));
            QVERIFY(h.tree.createFile("z/b.xls", "from z"));
            QVERIFY(h.tree.createDir("D"));
            h.mark({"x/a.xls", "y/a.xls", "z/b.xls"});
            h.messages.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
            h.transfer(kind, "D");
            const bool move = kind == TransferKind::Move;
            const QString ending =
                move ? QStringLiteral("に移動しました") : QStringLiteral("にコピーしました");
            const QString tail = QStringLiteral("を ") + h.p("D/") + ending;
            QCOMPARE(h.rows(), (QStringList{h.p("x/a.xls") + tail, h.p("y/a.xls") + tail,
                                            history::kFailureText}));
            QCOMPARE(h.shown(), QStringList{move ? kMoveFailed : kCopyFailed});
            QCOMPARE(read_all(h.p("D/a.xls")), QByteArray("from x"));
            QCOMPARE(read_all(h.p("y/a.xls")), QByteArray("from y"));
            QCOMPARE(read_all(h.p("z/b.xls")), QByteArray("from z"));
            QVERIFY(!QFile::exists(h.p("D/b.xls")));
            // The failure leaves nothing to undo, so nothing moves to the wrong place.
            h.forget_output();
            h.undo();
            QCOMPARE(h.shown(), QStringList{kCannot});
            QCOMPARE(read_all(h.p("D/a.xls")), QByteArray("from x"));
        }
    }

    // 5. Unprivileged, across file systems, onto an existing file, from a read-only folder.
    void a_cross_device_move_from_a_read_only_folder_loses_nothing()
    {
        TestTree local;
        const QString away = second_file_system(local.root());
        if (away.isEmpty())
            QSKIP("no second file system (PELMORA_SECOND_FS or /dev/shm)");
        QTemporaryDir other(away + QStringLiteral("/pelmora-test-XXXXXX"));
        QVERIFY(other.isValid());
        QVERIFY(local.createFile("ro/a.xls", "the source"));
        QVERIFY(local.createDir("home"));
        const QString dst = other.path() + QStringLiteral("/a.xls");
        {
            QFile f(dst);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("the old destination") > 0);
        }
        QVERIFY(::chmod(QFile::encodeName(local.root()).constData(), 0755) == 0);
        QVERIFY(::chmod(QFile::encodeName(local.path("ro")).constData(), 0555) == 0);
        QVERIFY(::chmod(QFile::encodeName(other.path()).constData(), 0777) == 0);
        QVERIFY(give_to_nobody(QFile::encodeName(dst)));
        QVERIFY(give_to_nobody(QFile::encodeName(local.path("home"))));

        const int rc = run_unprivileged([&] {
            qputenv("XDG_DATA_HOME", QFile::encodeName(local.path("home")));
            Harness h;
            h.window.single = true;
            h.session.sel_dir = Path(local.path("ro/"));
            h.session.sel_file = Path(QStringLiteral("a.xls"));
            h.messages.answers = {MsgAnswer::Yes};
            CommandEnv e = h.env();
            run_copy_or_move(e, TransferKind::Move, [&] {
                h.session.dlg_cancel = 0;
                h.session.dest_dir = Path(other.path());
            });
            const QStringList want{local.path("ro/a.xls") + QStringLiteral("を ") + other.path() +
                                       QStringLiteral("/に移動しました"),
                                   history::kFailureText};
            if (h.rows() != want)
                return 1;
            if (h.shown().isEmpty() || h.shown().back() != kMoveFailed)
                return 2;
            return 0;
        });
        QCOMPARE(rc, 0);
        QCOMPARE(read_all(local.path("ro/a.xls")), QByteArray("the source"));
        QCOMPARE(read_all(dst), QByteArray("the old destination"));
        QCOMPARE(QDir(other.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("a.xls")});
        QVERIFY(::chmod(QFile::encodeName(local.path("ro")).constData(), 0755) == 0);
    }

    // 6. A command started while another lets events run is ignored; dest_dir is read once.
    void a_command_started_inside_another_does_not_run()
    {
        Harness h;
        for (const char* n : {"s/1.xls", "s/2.xls", "s/3.xls"})
            QVERIFY(h.tree.createFile(QString::fromLatin1(n), n));
        QVERIFY(h.tree.createDir("first"));
        QVERIFY(h.tree.createDir("second"));
        h.mark({"s/1.xls", "s/2.xls", "s/3.xls"});
        int nestedChooser = 0;
        h.yield.hook = [&] {
            // What a click on another menu item, or a chooser closing, would do.
            h.session.dest_dir = Path(h.p("second/"));
            CommandEnv e = h.env();
            run_copy_or_move(e, TransferKind::Move, [&] { ++nestedChooser; });
            run_undo(e);
            run_trash(e);
        };
        h.transfer(TransferKind::Copy, "first");
        QCOMPARE(nestedChooser, 0);
        QCOMPARE(h.shown(), QStringList{QStringLiteral("ファイルは正常にコピーされました")});
        const QString tail =
            QStringLiteral("を ") + h.p("first/") + QStringLiteral("にコピーしました");
        QCOMPARE(h.rows(), (QStringList{h.p("s/1.xls") + tail, h.p("s/2.xls") + tail,
                                        h.p("s/3.xls") + tail}));
        QCOMPARE(QDir(h.p("first")).entryList(QDir::Files),
                 (QStringList{QStringLiteral("1.xls"), QStringLiteral("2.xls"),
                              QStringLiteral("3.xls")}));
        QVERIFY(QDir(h.p("second")).entryList(QDir::Files).isEmpty());
        for (const char* n : {"s/1.xls", "s/2.xls", "s/3.xls"})
            QVERIFY(QFile::exists(h.p(QString::fromLatin1(n))));
        // The journal is the copy's: its undo removes the three copies.
        h.forget_output();
        h.undo();
        QCOMPARE(h.shown().back(), kUndone);
        QVERIFY(QDir(h.p("first")).entryList(QDir::Files).isEmpty());
    }

    // Undo of a move while the moved file was replaced, and onto a taken place.
    void undo_of_a_move_only_moves_the_same_file_back()
    {
        Harness h;
        QVERIFY(h.tree.createFile("s/1.xls", "one"));
        QVERIFY(h.tree.createFile("s/2.xls", "two"));
        QVERIFY(h.tree.createDir("dst"));
        h.mark({"s/1.xls", "s/2.xls"});
        h.transfer(TransferKind::Move, "dst");
        // 1 was swapped for another file of that name; a new s/2.xls stands at 2's old place.
        QVERIFY(QFile::rename(h.p("dst/1.xls"), h.p("kept.xls")));
        QVERIFY(h.tree.createFile("dst/1.xls", "impostor"));
        QVERIFY(h.tree.createFile("s/2.xls", "newcomer"));
        h.forget_output();

        h.messages.answers = {MsgAnswer::Yes};     // the undo question
        h.messages.answers.append(MsgAnswer::Yes); // replace the newcomer
        CommandEnv e = h.env();
        run_undo(e);
        QCOMPARE(read_all(h.p("dst/1.xls")), QByteArray("impostor"));
        QVERIFY(!QFile::exists(h.p("s/1.xls")));
        QCOMPARE(read_all(h.p("s/2.xls")), QByteArray("two"));
        QCOMPARE(h.rows(), (QStringList{not_moved_back_row(h.p("dst/1.xls"), h.p("s/1.xls")),
                                        moved_back_row(h.p("dst/2.xls"), h.p("s/2.xls")),
                                        history::kFailureText}));
        QCOMPARE(h.shown().back(), kUndoFailed);
        // The newcomer it replaced is in the trash, not gone.
        bool found = false;
        QDirIterator it(m_home.path() + QStringLiteral("/share/Trash/files"));
        while (it.hasNext()) {
            if (read_all(it.next()) == "newcomer")
                found = true;
        }
        QVERIFY(found);
    }

    // Undo becomes available after each copy, move and compression that succeeded, and is spent
    // by an undo; a failed or declined command leaves it as it was.
    void available_follows_each_command_in_turn()
    {
        Harness h;
        QVERIFY(h.tree.createFile("x/a.xls", "from x"));
        QVERIFY(h.tree.createFile("y/a.xls", "from y"));
        QVERIFY(h.tree.createFile("z/b.xls", "from z"));
        QVERIFY(h.tree.createDir("D"));
        QVERIFY(h.tree.createDir("E"));
        QSignalSpy spy(&h.manager, &UndoManager::available);
        const auto said = [&spy] {
            QList<bool> out;
            for (const QList<QVariant>& args : spy)
                out.append(args.at(0).toBool());
            return out;
        };

        struct Step
        {
            const char* what;
            std::function<void()> run;
            QList<bool> said;
        };
        const std::vector<Step> steps{
            {"copy",
             [&] {
                 h.mark({"x/a.xls"});
                 h.transfer(TransferKind::Copy, "D");
             },
             {true}},
            // Two files with one name: the second stops the copy.
            {"failed copy",
             [&] {
                 h.mark({"x/a.xls", "y/a.xls"});
                 h.transfer(TransferKind::Copy, "E");
             },
             {true}},
            {"move",
             [&] {
                 h.mark({"z/b.xls"});
                 h.transfer(TransferKind::Move, "D");
             },
             {true, true}},
            {"declined undo", [&] { h.undo(MsgAnswer::No); }, {true, true}},
            {"undo", [&] { h.undo(); }, {true, true, false}},
            // The journal names the file of the last click, as in the window.
            {"compression",
             [&] {
                 h.mark({"x/a.xls"});
                 h.session.sel_dir = Path(h.p(QStringLiteral("x/")));
                 h.session.sel_file = Path(QStringLiteral("a.xls"));
                 h.compress("D", QStringLiteral("ARC"));
             },
             {true, true, false, true}},
            {"undo of the compression", [&] { h.undo(); }, {true, true, false, true, false}},
        };
        for (const Step& s : steps) {
            s.run();
            QVERIFY2(said() == s.said, s.what);
        }
        QVERIFY(QFile::exists(h.p("z/b.xls")));
        QVERIFY(!QFile::exists(h.p("D/ARC.LZH")));
    }
};

QTEST_GUILESS_MAIN(TestNothingLost)
#include "tst_nothing_lost.moc"
