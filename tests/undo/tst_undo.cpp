// SPDX-License-Identifier: GPL-3.0-or-later
// Undo through the history menu after real copies, moves and trash requests made through the
// edit menu: questions, rows, closing messages, the undo item, and what stays on disk.
#include "fileops_fixture.h"
#include "undo/undo_command.h"
#include "window/fileops_controller.h"

#include <QLineEdit>

using namespace pelmora;
using namespace pelmora::test;

namespace {
const QString kCannot = QStringLiteral("1つ前の操作を元に戻せませんでした");
const QString kUndone = QStringLiteral("1つ前の操作を取り消しました");
const QString kUndoFailed = QStringLiteral("1つ前の操作の取消しに失敗しました");
} // namespace

class TestUndo : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;

    // Copies or moves the marked files (relative paths) into bak/ through the menu.
    static void run(FileOpsFixture& fx, const char* item, const QStringList& rels)
    {
        QVERIFY(fx.tree.createDir("bak"));
        fx.mark(rels);
        choose_folder(fx.p("bak"));
        fx.trigger(item);
        QVERIFY(fx.action("p_undo")->isEnabled());
        fx.messages().shown.clear();
        fx.history().reset_history_grid();
        fx.timer()->stop();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        use_temporary_home(m_home);
    }

    void empty_journal_is_refused_without_a_question()
    {
        FileOpsFixture fx;
        fx.action("p_undo")->setEnabled(true);
        fx.trigger("p_undo");
        QCOMPARE(fx.shown_texts(), QStringList{kCannot});
        QCOMPARE(fx.messages().shown.front().icon, MsgIcon::Critical);
        QCOMPARE(fx.history().size(), 0);
        QVERIFY(fx.action("p_undo")->isEnabled());
    }

    void undo_after_a_failed_operation_is_refused()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("a.xls", "A"));
        run(fx, "p_filecopy", {"a.xls"});
        // A move of a file that is not there fails and leaves the journal empty.
        fx.mark({"gone.xls"});
        choose_folder(fx.p("bak"));
        fx.trigger("p_filemove");
        QVERIFY(fx.action("p_undo")->isEnabled());
        fx.messages().shown.clear();
        fx.trigger("p_undo");
        QCOMPARE(fx.shown_texts(), QStringList{kCannot});
        // The earlier copy is not touched.
        QVERIFY(QFile::exists(fx.p("bak/a.xls")));
    }

    void undo_of_a_copy_deletes_every_copy()
    {
        FileOpsFixture fx;
        for (const char* n : {"d/1.xls", "d/2.xls", "d/3.xls"})
            QVERIFY(fx.tree.createFile(n));
        run(fx, "p_filecopy", {"d/1.xls", "d/2.xls", "d/3.xls"});
        fx.messages().answers = {MsgAnswer::Yes};
        fx.trigger("p_undo");
        const QString first = fx.p("bak/1.xls");
        QCOMPARE(fx.shown_texts(),
                 QStringList({QStringLiteral("コピーしたファイル(") + first +
                                  QStringLiteral(")等を削除します\r\nよろしいですか"),
                              kUndone}));
        QCOMPARE(fx.messages().shown.front().icon, MsgIcon::Question);
        QStringList rows;
        for (const char* n : {"bak/1.xls", "bak/2.xls", "bak/3.xls"}) {
            QVERIFY(!QFile::exists(fx.p(n)));
            rows.append(QStringLiteral("コピーしたファイル(") + fx.p(n) +
                        QStringLiteral(")を 削除しました"));
        }
        QCOMPARE(fx.history_texts(), rows);
        QCOMPARE(fx.history_colors(), QList<WinColor>(3, wincolor::None));
        for (const char* n : {"d/1.xls", "d/2.xls", "d/3.xls"})
            QVERIFY(QFile::exists(fx.p(n)));
        QVERIFY(!fx.action("p_undo")->isEnabled());
        QVERIFY(fx.timer()->isActive());
        // The journal stays as it was.
        QCOMPARE(fx.session().undo.undo_kind(), UndoKind::Copy);
        QCOMPARE(fx.session().undo.undo_dst().size(), 3);
    }

    void answering_no_changes_nothing_and_asks_again_later()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("a.xls"));
        run(fx, "p_filecopy", {"a.xls"});
        fx.messages().answers = {MsgAnswer::No};
        fx.trigger("p_undo");
        const QString q = QStringLiteral("コピーしたファイル(") + fx.p("bak/a.xls") +
                          QStringLiteral(")を削除します\r\nよろしいですか");
        QCOMPARE(fx.shown_texts(), QStringList{q});
        QVERIFY(QFile::exists(fx.p("bak/a.xls")));
        QVERIFY(fx.action("p_undo")->isEnabled());
        QCOMPARE(fx.history().size(), 0);
        fx.messages().answers = {MsgAnswer::Yes};
        fx.trigger("p_undo");
        QCOMPARE(fx.shown_texts(), QStringList({q, q, kUndone}));
        QVERIFY(!QFile::exists(fx.p("bak/a.xls")));
    }

    void a_copy_that_cannot_be_deleted_fails_the_undo_but_not_the_others()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("1.xls"));
        QVERIFY(fx.tree.createFile("2.xls"));
        run(fx, "p_filecopy", {"1.xls", "2.xls"});
        QVERIFY(QFile::remove(fx.p("bak/1.xls")));
        fx.messages().answers = {MsgAnswer::Yes};
        fx.trigger("p_undo");
        QVERIFY(!QFile::exists(fx.p("bak/2.xls")));
        QCOMPARE(fx.shown_texts().back(), kUndoFailed);
        QCOMPARE(fx.history().size(), 3);
        QCOMPARE(fx.history_texts().front(), QStringLiteral("コピーしたファイル(") +
                                                 fx.p("bak/1.xls") +
                                                 QStringLiteral(")を 削除できませんでした"));
        QCOMPARE(fx.history_texts().back(), history::kFailureText);
        QCOMPARE(fx.history_colors().back(), history::Failure);
        QVERIFY(!fx.action("p_undo")->isEnabled());
        QVERIFY(!fx.timer()->isActive());
    }

    void undo_of_a_move_puts_the_files_back()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("d/1.xls", "1"));
        QVERIFY(fx.tree.createFile("e/2.xls", "2"));
        run(fx, "p_filemove", {"d/1.xls", "e/2.xls"});
        fx.messages().answers = {MsgAnswer::Yes};
        fx.trigger("p_undo");
        QCOMPARE(fx.shown_texts(),
                 QStringList({QStringLiteral("移動したファイル(") + fx.p("bak/1.xls") +
                                  QStringLiteral(")等を戻します\r\nよろしいですか"),
                              kUndone}));
        QCOMPARE(read_all(fx.p("d/1.xls")), QByteArray("1"));
        QCOMPARE(read_all(fx.p("e/2.xls")), QByteArray("2"));
        QVERIFY(!QFile::exists(fx.p("bak/1.xls")));
        QCOMPARE(fx.history_texts().front(), QStringLiteral("移動したファイル(") +
                                                 fx.p("bak/1.xls") + QStringLiteral(")を ") +
                                                 fx.p("d/1.xls") + QStringLiteral("へ戻しました"));
        QVERIFY(fx.session().op_handed_over);
        QVERIFY(fx.timer()->isActive());
    }

    void a_file_moved_away_meanwhile_fails_the_undo_and_the_rest_goes_back()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("d/1.xls", "1"));
        QVERIFY(fx.tree.createFile("d/2.xls", "2"));
        run(fx, "p_filemove", {"d/1.xls", "d/2.xls"});
        QVERIFY(QFile::rename(fx.p("bak/1.xls"), fx.p("elsewhere.xls")));
        fx.messages().answers = {MsgAnswer::Yes};
        fx.trigger("p_undo");
        QCOMPARE(
            fx.history_texts(),
            QStringList(
                {QStringLiteral("移動したファイル(") + fx.p("bak/1.xls") + QStringLiteral(")を ") +
                     fx.p("d/1.xls") + QStringLiteral("へ戻せませんでした"),
                 QStringLiteral("移動したファイル(") + fx.p("bak/2.xls") + QStringLiteral(")を ") +
                     fx.p("d/2.xls") + QStringLiteral("へ戻しました"),
                 history::kFailureText}));
        QCOMPARE(read_all(fx.p("d/2.xls")), QByteArray("2"));
        QVERIFY(!QFile::exists(fx.p("d/1.xls")));
        // A file that could not be put back is a failed undo, not a success.
        QCOMPARE(fx.shown_texts().back(), kUndoFailed);
        QVERIFY(!fx.action("p_undo")->isEnabled());
    }

    void trashed_files_are_reported_once_each()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("1.xls"));
        QVERIFY(fx.tree.createFile("2.xls"));
        fx.mark({"1.xls", "2.xls"});
        fx.messages().answers = {MsgAnswer::Yes};
        fx.trigger("p_dust");
        const PathList where = fx.session().undo.undo_dst();
        QCOMPARE(where.size(), 2);
        fx.messages().shown.clear();
        fx.history().reset_history_grid();
        fx.action("p_undo")->setEnabled(true); // left on by an earlier copy
        fx.messages().answers = {MsgAnswer::Yes};
        fx.trigger("p_undo");
        const QString cannot = QStringLiteral("ごみ箱へ移動したファイルは元へ戻せません");
        QCOMPARE(fx.shown_texts(),
                 QStringList({QStringLiteral("ごみ箱へ移動したファイル(") + where[0].text() +
                                  QStringLiteral(")等を戻します\r\nよろしいですか"),
                              cannot, cannot, kUndoFailed}));
        QCOMPARE(fx.history_texts(), QStringList{history::kFailureText});
        for (const Path& w : where)
            QVERIFY(QFile::exists(w.text()));
        QVERIFY(!QFile::exists(fx.p("1.xls")));
        QVERIFY(!fx.action("p_undo")->isEnabled());
    }

    void undo_of_a_compression_deletes_the_archive_once()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("out/020220210503.LZH"));
        const QString archive = fx.p("out/020220210503.LZH");
        // As the compression records it: the archive as it left it.
        const FileIdentity made = PosixFileSystem{}.identity(Path(archive));
        fx.session().undo.record(
            UndoKind::Compression,
            {UndoEntry{Path(QStringLiteral("/d/1.xls")), Path(archive), made, {}},
             UndoEntry{Path(QStringLiteral("/d/2.xls")), Path(archive), made, {}}});
        fx.action("p_undo")->setEnabled(true);
        fx.messages().answers = {MsgAnswer::Yes};
        fx.trigger("p_undo");
        QCOMPARE(fx.shown_texts(),
                 QStringList({QStringLiteral("作成した書庫ファイル(") + archive +
                                  QStringLiteral(")を削除します\r\nよろしいですか"),
                              kUndone}));
        QCOMPARE(fx.history_texts(), QStringList{QStringLiteral("作成した書庫ファイル(") + archive +
                                                 QStringLiteral(")を 削除しました")});
        QVERIFY(!QFile::exists(archive));

        // A second attempt on the same journal cannot delete it any more.
        fx.action("p_undo")->setEnabled(true);
        fx.messages().answers = {MsgAnswer::Yes};
        fx.messages().shown.clear();
        fx.trigger("p_undo");
        QCOMPARE(fx.shown_texts().back(), kUndoFailed);
        QCOMPARE(fx.history_texts().back(), history::kFailureText);
        QCOMPARE(fx.history().size(), 3);
    }

    void undo_of_a_compression_into_an_existing_archive_gives_it_back()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("one.xls", "first"));
        QVERIFY(fx.tree.createFile("two.xls", "second"));
        QVERIFY(fx.tree.createDir("arc"));
        auto compress_into = [&fx](const char* file, bool overwrite) {
            fx.select(QString::fromUtf8(file));
            fx.action("p_lha")->setEnabled(true);
            when_modal<dir_selectFrm>([&fx, overwrite](dir_selectFrm& d) {
                d.Dir1().set_path(Path(fx.p("arc/")));
                d.findChild<QLineEdit*>(QStringLiteral("txt_filename"))
                    ->setText(QStringLiteral("BOX"));
                if (overwrite)
                    fx.messages().answers = {MsgAnswer::Yes};
                button(d, "cmd_ok")->click();
            });
            fx.trigger("p_lha");
        };
        const QString archive = fx.p("arc/BOX.LZH");
        compress_into("one.xls", false);
        QCOMPARE(fx.shown_texts().back(), QStringLiteral("選択XLSファイルを圧縮しました"));
        const QByteArray withOne = read_all(archive);
        QVERIFY(!withOne.isEmpty());
        compress_into("two.xls", true);
        QVERIFY(read_all(archive) != withOne);
        QVERIFY(fx.action("p_undo")->isEnabled());

        fx.messages().answers = {MsgAnswer::Yes};
        fx.trigger("p_undo");
        QCOMPARE(fx.shown_texts().back(), QStringLiteral("1つ前の操作を取り消しました"));
        QCOMPARE(fx.history_texts().back(), QStringLiteral("作成した書庫ファイル(") + archive +
                                                QStringLiteral(")を 削除しました"));
        // The members the archive held before the compression are still there.
        QCOMPARE(read_all(archive), withOne);
        QVERIFY(!fx.action("p_undo")->isEnabled());
    }
};

QTEST_MAIN(TestUndo)
#include "tst_undo.moc"
