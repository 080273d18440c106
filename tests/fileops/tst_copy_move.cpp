// SPDX-License-Identifier: GPL-3.0-or-later
// Copy and move through the edit menu and the real chooser on real files: history rows,
// colours, messages, journal, undo item and blink, and the failure path for every file that
// did not arrive.
#include "fileops_fixture.h"

#include <QGroupBox>
#include <cerrno>

using namespace pelmora;
using namespace pelmora::test;

namespace {
const QString kCopied = QStringLiteral("ファイルは正常にコピーされました");
const QString kMoved = QStringLiteral("ファイルは正常に移動されました");
const QString kCopyFailed = QStringLiteral("ファイルのコピーに失敗しました");
const QString kMoveFailed = QStringLiteral("ファイルの移動に失敗しました");
} // namespace

class TestCopyMove : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void chooser_cancel_changes_nothing()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("a.xls"));
        fx.select("a.xls");
        fx.session().undo.record(UndoKind::Move, {UndoEntry{Path(QStringLiteral("/p/x.xls")),
                                                            Path(QStringLiteral("/q/x.xls"))}});
        cancel_chooser();
        fx.trigger("p_filecopy");
        QCOMPARE(fx.session().dlg_mode, DlgMode::Copy);
        QCOMPARE(fx.session().dlg_cancel, -1);
        QCOMPARE(fx.history().size(), 0);
        QVERIFY(fx.messages().shown.isEmpty());
        QCOMPARE(fx.session().undo.undo_kind(), UndoKind::Move);
        QCOMPARE(fx.session().undo.undo_src(), paths({QStringLiteral("/p/x.xls")}));
        QVERIFY(!fx.action("p_undo")->isEnabled());
        QVERIFY(!fx.timer()->isActive());
        QVERIFY(!QApplication::overrideCursor());
    }

    void single_copy_to_a_sub_folder()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("docs/a.xls", "A"));
        QVERIFY(fx.tree.createDir("bak"));
        fx.select("docs/a.xls");
        choose_folder(fx.p("bak"));
        fx.trigger("p_filecopy");
        const QString dest = fx.p("bak/");
        QCOMPARE(fx.session().dest_dir, Path(dest));
        QCOMPARE(read_all(dest + QStringLiteral("a.xls")), QByteArray("A"));
        QCOMPARE(read_all(fx.p("docs/a.xls")), QByteArray("A"));
        QCOMPARE(fx.history_texts(), QStringList{fx.p("docs/a.xls") + QStringLiteral("を ") + dest +
                                                 QStringLiteral("にコピーしました")});
        QCOMPARE(fx.history_colors(), QList<WinColor>{history::Copy});
        QCOMPARE(fx.shown_texts(), QStringList{kCopied});
        QCOMPARE(fx.messages().shown.front().icon, MsgIcon::Information);
        QVERIFY(fx.action("p_undo")->isEnabled());
        QVERIFY(fx.timer()->isActive());
        QCOMPARE(fx.session().blink_count, 1);
        QCOMPARE(fx.session().undo.undo_kind(), UndoKind::Copy);
        QCOMPARE(fx.session().undo.undo_src(), paths({fx.p("docs/a.xls")}));
        QCOMPARE(fx.session().undo.undo_dst(), paths({dest + QStringLiteral("a.xls")}));
        QVERIFY(fx.session().op_handed_over);
        QVERIFY(!QApplication::overrideCursor());
    }

    void single_move_to_the_root_keeps_one_separator()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("docs/a.xls", "A"));
        fx.select("docs/a.xls");
        choose_folder(fx.tree.root());
        fx.trigger("p_filemove");
        QCOMPARE(fx.session().dest_dir, Path(fx.tree.root()));
        QVERIFY(!QFile::exists(fx.p("docs/a.xls")));
        QCOMPARE(read_all(fx.p("a.xls")), QByteArray("A"));
        QCOMPARE(fx.history_texts().front(), fx.p("docs/a.xls") + QStringLiteral("を ") +
                                                 fx.tree.root() + QStringLiteral("に移動しました"));
        QCOMPARE(fx.history_colors(), QList<WinColor>{history::Move});
        QCOMPARE(fx.shown_texts(), QStringList{kMoved});
        QCOMPARE(fx.session().undo.undo_kind(), UndoKind::Move);
        QCOMPARE(fx.session().undo.undo_dst(), paths({fx.p("a.xls")}));
    }

    void single_move_of_a_missing_file_fails()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createDir("bak"));
        fx.select("gone.xls");
        fx.session().undo.record(UndoKind::Copy,
                                 {UndoEntry{Path(QStringLiteral("/p/x.xls")), Path()}});
        choose_folder(fx.p("bak"));
        fx.trigger("p_filemove");
        QCOMPARE(fx.history_texts(),
                 QStringList({fx.p("gone.xls") + QStringLiteral("を ") + fx.p("bak/") +
                                  QStringLiteral("に移動しました"),
                              history::kFailureText}));
        QCOMPARE(fx.history_colors(), QList<WinColor>({history::Move, history::Failure}));
        QCOMPARE(fx.shown_texts(), QStringList{kMoveFailed});
        QCOMPARE(fx.messages().shown.front().icon, MsgIcon::Critical);
        QCOMPARE(fx.session().undo.undo_kind(), UndoKind::Copy);
        QVERIFY(path_list_is_empty(fx.session().undo.undo_src()));
        QVERIFY(path_list_is_empty(fx.session().undo.undo_dst()));
        QVERIFY(!fx.session().op_handed_over);
        QVERIFY(!fx.action("p_undo")->isEnabled());
        QVERIFY(!fx.timer()->isActive());
    }

    void replace_answered_no_is_a_failure_not_a_success()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("a.xls", "new"));
        QVERIFY(fx.tree.createFile("bak/a.xls", "old"));
        fx.select("a.xls");
        fx.messages().answers = {MsgAnswer::No};
        choose_folder(fx.p("bak"));
        fx.trigger("p_filecopy");
        QCOMPARE(read_all(fx.p("bak/a.xls")), QByteArray("old"));
        QCOMPARE(fx.shown_texts(),
                 QStringList({replace_question(Path(fx.p("bak/a.xls"))), kCopyFailed}));
        QCOMPARE(fx.history().size(), 2);
        QCOMPARE(fx.history_texts().back(), history::kFailureText);
        QVERIFY(path_list_is_empty(fx.session().undo.undo_src()));
        QVERIFY(!fx.action("p_undo")->isEnabled());
    }

    void single_mode_without_a_selection_asks_for_one()
    {
        FileOpsFixture fx;
        fx.session().sel_dir = Path(QStringLiteral("  "));
        fx.session().sel_file = Path(QStringLiteral("a.xls"));
        choose_folder(fx.tree.root());
        fx.trigger("p_filecopy");
        QCOMPARE(fx.shown_texts(), QStringList{QStringLiteral("ファイルを選択してください")});
        QCOMPARE(fx.messages().shown.front().icon, MsgIcon::Exclamation);
        QCOMPARE(fx.history().size(), 0);
        QVERIFY(!QApplication::overrideCursor());
    }

    void multiple_copy_stops_at_a_missing_file()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("d/1.xls", "1"));
        QVERIFY(fx.tree.createFile("d/3.xls", "3"));
        QVERIFY(fx.tree.createDir("bak"));
        fx.mark({"d/1.xls", "d/2.xls", "d/3.xls"});
        choose_folder(fx.p("bak"));
        fx.trigger("p_filecopy");
        const QString tail =
            QStringLiteral("を ") + fx.p("bak/") + QStringLiteral("にコピーしました");
        QCOMPARE(fx.history_texts(), QStringList({fx.p("d/1.xls") + tail, fx.p("d/2.xls") + tail,
                                                  history::kFailureText}));
        QVERIFY(QFile::exists(fx.p("bak/1.xls")));
        QVERIFY(!QFile::exists(fx.p("bak/3.xls")));
        QCOMPARE(fx.shown_texts(), QStringList{kCopyFailed});
        QCOMPARE(fx.session().undo.undo_kind(), UndoKind::Copy);
        QVERIFY(path_list_is_empty(fx.session().undo.undo_src()));
        QVERIFY(path_list_is_empty(fx.session().undo.undo_dst()));
    }

    void a_path_marked_twice_is_moved_once()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("d/1.xls", "1"));
        QVERIFY(fx.tree.createFile("d/2.xls", "2"));
        QVERIFY(fx.tree.createDir("bak"));
        fx.mark({"d/1.xls", "d/2.xls", "d/1.xls"});
        choose_folder(fx.p("bak"));
        fx.trigger("p_filemove");
        QCOMPARE(fx.shown_texts(), QStringList{kMoved});
        QCOMPARE(fx.history().size(), 2);
        QCOMPARE(fx.history_colors(), QList<WinColor>({history::Move, history::Move}));
        QCOMPARE(fx.session().undo.undo_src(), paths({fx.p("d/1.xls"), fx.p("d/2.xls")}));
        QCOMPARE(fx.session().undo.undo_dst(), paths({fx.p("bak/1.xls"), fx.p("bak/2.xls")}));
        QCOMPARE(read_all(fx.p("bak/2.xls")), QByteArray("2"));
        QVERIFY(!QFile::exists(fx.p("d/1.xls")));
        QVERIFY(fx.action("p_undo")->isEnabled());
    }

    void a_path_marked_twice_is_copied_once_without_a_replace_question()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("d/1.xls", "1"));
        QVERIFY(fx.tree.createDir("bak"));
        fx.mark({"d/1.xls", "d/1.xls"});
        choose_folder(fx.p("bak"));
        fx.trigger("p_filecopy");
        QCOMPARE(fx.shown_texts(), QStringList{kCopied});
        QCOMPARE(fx.history().size(), 1);
        QCOMPARE(fx.session().undo.undo_dst(), paths({fx.p("bak/1.xls")}));
    }

    void move_across_file_systems_through_the_menu()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("a.xls", "A"));
        QVERIFY(fx.tree.createDir("bak"));
        fx.select("a.xls");
        // The source's rename reports another file system, and the source cannot be removed
        // after its copy: both stay, as mv leaves them, and the move is reported failed.
        fx.shell.set_rename([](int, const char*, int, const char*) {
            errno = EXDEV;
            return -1;
        });
        fx.shell.set_unlink([](int, const char*) {
            errno = EBUSY;
            return -1;
        });
        choose_folder(fx.p("bak"));
        fx.trigger("p_filemove");
        QCOMPARE(read_all(fx.p("a.xls")), QByteArray("A"));
        QCOMPARE(
            QDir(fx.p("bak")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("a.xls")});
        QCOMPARE(read_all(fx.p("bak/a.xls")), QByteArray("A"));
        QCOMPARE(fx.shown_texts(), QStringList{kMoveFailed});
        QCOMPARE(fx.history_texts().back(), history::kFailureText);
    }
};

QTEST_MAIN(TestCopyMove)
#include "tst_copy_move.moc"
