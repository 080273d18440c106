// SPDX-License-Identifier: GPL-3.0-or-later
// The trash command through the edit menu on real files, with the trash below a temporary
// home: rows, message, journal of kind 4, and the failure row.
#include "fileops_fixture.h"

using namespace pelmora;
using namespace pelmora::test;

namespace {
const QString kTrashed = QStringLiteral("選択されたファイルをごみ箱へ移動しました");
const QString kEnding = QStringLiteral("を ごみ箱へ移動しました");
} // namespace

class TestTrash : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        use_temporary_home(m_home);
    }

    void single_file_goes_to_the_trash()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("d/a.xls", "A"));
        fx.select("d/a.xls");
        fx.messages().answers = {MsgAnswer::Yes};
        fx.trigger("p_dust");
        const QString path = fx.p("d/a.xls");
        QVERIFY(!QFile::exists(path));
        QCOMPARE(fx.shown_texts(), QStringList({trash_question(paths({path})), kTrashed}));
        QCOMPARE(fx.history_texts(), QStringList{path + kEnding});
        QCOMPARE(fx.history_colors(), QList<WinColor>{history::Trash});
        QCOMPARE(fx.session().undo.undo_kind(), UndoKind::Trash);
        QCOMPARE(fx.session().undo.undo_src(), paths({path}));
        QCOMPARE(fx.session().undo.undo_dst().size(), 1);
        // The journal names where the trash put the file.
        QVERIFY(fx.session().undo.undo_dst().front().text().startsWith(m_home.path()));
        QCOMPARE(read_all(fx.session().undo.undo_dst().front().text()), QByteArray("A"));
        QVERIFY(fx.timer()->isActive());
        QVERIFY(!fx.action("p_undo")->isEnabled()); // trash never enables undo
    }

    void declined_single_trash_keeps_the_journal()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("a.xls"));
        fx.select("a.xls");
        fx.session().undo.record(UndoKind::Copy,
                                 {UndoEntry{Path(QStringLiteral("/p/x.xls")), Path()}});
        fx.messages().answers = {MsgAnswer::No};
        fx.trigger("p_dust");
        QVERIFY(QFile::exists(fx.p("a.xls")));
        QCOMPARE(fx.history_texts(), QStringList({fx.p("a.xls") + kEnding, history::kFailureText}));
        QCOMPARE(fx.history_colors(), QList<WinColor>({history::Trash, history::Failure}));
        QCOMPARE(fx.shown_texts().size(), 1); // the question only, no message after it
        QCOMPARE(fx.session().undo.undo_kind(), UndoKind::Copy);
        QCOMPARE(fx.session().undo.undo_src(), paths({QStringLiteral("/p/x.xls")}));
        QVERIFY(!fx.timer()->isActive());
    }

    void marked_files_go_in_one_request()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("1.xls"));
        QVERIFY(fx.tree.createFile("s/2.xls"));
        fx.mark({"1.xls", "s/2.xls", "1.xls"});
        fx.messages().answers = {MsgAnswer::Yes};
        fx.trigger("p_dust");
        const QStringList paths{fx.p("1.xls"), fx.p("s/2.xls")};
        // The twice-marked file is asked about, logged and trashed once.
        QCOMPARE(fx.shown_texts(), QStringList({trash_question(pelmora::paths(paths)), kTrashed}));
        QCOMPARE(fx.history_texts(), QStringList({paths[0] + kEnding, paths[1] + kEnding}));
        QCOMPARE(fx.session().undo.undo_src(), pelmora::paths(paths));
        QCOMPARE(fx.session().undo.undo_dst().size(), 2);
        QCOMPARE(fx.session().undo.undo_kind(), UndoKind::Trash);
        for (const QString& p : paths)
            QVERIFY(!QFile::exists(p));
    }

    void a_missing_marked_file_fails_the_request()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile("1.xls"));
        QVERIFY(fx.tree.createFile("3.xls"));
        fx.mark({"1.xls", "2.xls", "3.xls"});
        fx.session().undo.set_kind(UndoKind::Move);
        fx.messages().answers = {MsgAnswer::Yes};
        fx.trigger("p_dust");
        QCOMPARE(fx.history_texts(), QStringList({fx.p("1.xls") + kEnding, fx.p("2.xls") + kEnding,
                                                  fx.p("3.xls") + kEnding, history::kFailureText}));
        QCOMPARE(fx.shown_texts().size(), 1); // no message after the question
        QCOMPARE(fx.session().undo.undo_kind(), UndoKind::Trash);
        QVERIFY(path_list_is_empty(fx.session().undo.undo_src()));
        QVERIFY(path_list_is_empty(fx.session().undo.undo_dst()));
        QVERIFY(!fx.timer()->isActive());
    }
};

QTEST_MAIN(TestTrash)
#include "tst_trash.moc"
