// SPDX-License-Identifier: GPL-3.0-or-later
// The undo manager says when undo becomes available and when it is spent, and a failed or
// declined command leaves that as it was: the real commands on real files.
#include "command_harness.h"
#include "temporary_home.h"

#include <QSignalSpy>
#include <QtTest>

using namespace pelmora;
using namespace pelmora::test;

class TestUndoAvailable : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        use_temporary_home(m_home);
    }

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

QTEST_GUILESS_MAIN(TestUndoAvailable)
#include "tst_undo_available.moc"
