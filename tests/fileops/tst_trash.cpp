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
        QVERIFY(fx.tree.createFile(QStringLiteral("d/a.xls"), "A"));
        fx.select(QStringLiteral("d/a.xls"));
        fx.messages().answers = {MsgAnswer::Yes};
        fx.trigger("p_dust");
        const QString path = fx.tree.path(QStringLiteral("d/a.xls"));
        QVERIFY(!QFile::exists(path));
        QCOMPARE(fx.shown_texts(), QStringList({trash_question({path}), kTrashed}));
        QCOMPARE(fx.history_texts(), QStringList{path + kEnding});
        QCOMPARE(fx.history_colors(), QList<WinColor>{history::Trash});
        QCOMPARE(fx.session().undo_kind, 4);
        QCOMPARE(fx.session().undo_src, QStringList{path});
        QCOMPARE(fx.session().undo_dst.size(), 1);
        // The journal names where the trash put the file.
        QVERIFY(fx.session().undo_dst.front().startsWith(m_home.path()));
        QCOMPARE(read_all(fx.session().undo_dst.front()), QByteArray("A"));
        QVERIFY(fx.timer()->isActive());
        QVERIFY(!fx.action("p_undo")->isEnabled()); // trash never enables undo
    }

    void declined_single_trash_keeps_the_journal()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile(QStringLiteral("a.xls")));
        fx.select(QStringLiteral("a.xls"));
        fx.session().undo_kind = 2;
        fx.session().undo_src = {QStringLiteral("/p/x.xls")};
        fx.messages().answers = {MsgAnswer::No};
        fx.trigger("p_dust");
        QVERIFY(QFile::exists(fx.tree.path(QStringLiteral("a.xls"))));
        QCOMPARE(fx.history_texts(), QStringList({fx.tree.path(QStringLiteral("a.xls")) + kEnding,
                                                  history::kFailureText}));
        QCOMPARE(fx.history_colors(), QList<WinColor>({history::Trash, history::Failure}));
        QCOMPARE(fx.shown_texts().size(), 1); // the question only, no message after it
        QCOMPARE(fx.session().undo_kind, 2);
        QCOMPARE(fx.session().undo_src, QStringList{QStringLiteral("/p/x.xls")});
        QVERIFY(!fx.timer()->isActive());
    }

    void single_mode_without_a_selection_asks_for_one()
    {
        FileOpsFixture fx;
        fx.session().sel_dir = fx.tree.root();
        fx.session().sel_file = QString();
        fx.trigger("p_dust");
        QCOMPARE(fx.shown_texts(), QStringList{QStringLiteral("ファイルを選択してください")});
        QCOMPARE(fx.history().size(), 0);
    }

    void marked_files_go_in_one_request()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile(QStringLiteral("1.xls")));
        QVERIFY(fx.tree.createFile(QStringLiteral("s/2.xls")));
        fx.mark({QStringLiteral("1.xls"), QStringLiteral("s/2.xls"), QStringLiteral("1.xls")});
        fx.messages().answers = {MsgAnswer::Yes};
        fx.trigger("p_dust");
        const QStringList paths{fx.tree.path(QStringLiteral("1.xls")),
                                fx.tree.path(QStringLiteral("s/2.xls"))};
        // The twice-marked file is asked about, logged and trashed once.
        QCOMPARE(fx.shown_texts(), QStringList({trash_question(paths), kTrashed}));
        QCOMPARE(fx.history_texts(), QStringList({paths[0] + kEnding, paths[1] + kEnding}));
        QCOMPARE(fx.session().undo_src, paths);
        QCOMPARE(fx.session().undo_dst.size(), 2);
        QCOMPARE(fx.session().undo_kind, 4);
        for (const QString& p : paths)
            QVERIFY(!QFile::exists(p));
    }

    void a_missing_marked_file_fails_the_request()
    {
        FileOpsFixture fx;
        QVERIFY(fx.tree.createFile(QStringLiteral("1.xls")));
        QVERIFY(fx.tree.createFile(QStringLiteral("3.xls")));
        fx.mark({QStringLiteral("1.xls"), QStringLiteral("2.xls"), QStringLiteral("3.xls")});
        fx.session().undo_kind = 3;
        fx.messages().answers = {MsgAnswer::Yes};
        fx.trigger("p_dust");
        QCOMPARE(fx.history_texts(), QStringList({fx.tree.path(QStringLiteral("1.xls")) + kEnding,
                                                  fx.tree.path(QStringLiteral("2.xls")) + kEnding,
                                                  fx.tree.path(QStringLiteral("3.xls")) + kEnding,
                                                  history::kFailureText}));
        QCOMPARE(fx.shown_texts().size(), 1); // no message after the question
        QCOMPARE(fx.session().undo_kind, 4);
        QVERIFY(text_list_is_empty(fx.session().undo_src));
        QVERIFY(text_list_is_empty(fx.session().undo_dst));
        QVERIFY(!fx.timer()->isActive());
    }

    void nothing_marked_asks_nothing_and_fails()
    {
        FileOpsFixture fx;
        fx.mark({});
        fx.trigger("p_dust");
        QCOMPARE(fx.history_texts(), QStringList({kEnding, history::kFailureText}));
        QVERIFY(fx.messages().shown.isEmpty());
    }
};

QTEST_MAIN(TestTrash)
#include "tst_trash.moc"
