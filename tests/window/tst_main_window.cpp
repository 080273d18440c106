// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on fake platform layers: controls, start-up, listing, blink, exit, history.
#include "catalogue/result_table_model.h"
#include "main_window_fixture.h"
#include "session/history_log.h"
#include "window/rireki_frm.h"
#include "window/wait_frm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>

using namespace pelmora;
using namespace pelmora::test;

class TestMainWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void every_control_carries_its_caption()
    {
        MainWindowFixture f;
        QCOMPARE(f.window->windowTitle(), QStringLiteral("PelmoraVer1.1"));
        const QList<std::pair<const char*, QString>> captions{
            {"opt_0", "Excel"},
            {"opt_1", "Word"},
            {"opt_f_0", "単一選択"},
            {"opt_f_1", "複数選択"},
            {"Label1", "読込ドライブの選択："},
            {"Label2", "合計"},
            {"Label3", "ファイル"},
            {"Label_Count", "0"},
            {"Command1", "最新の情報に更新(&R)"},
            {"cmd_open", "選択ファイルを開く(&O)"},
            {"cmd_end", "終了(&E)"},
            {"chk", "プレビュー"},
            {"Label4", "ファイル名："},
            {"Label5", "最終更新日："},
        };
        for (const auto& [name, caption] : captions) {
            QWidget* w = f.child<QWidget>(name);
            QVERIFY2(w, name);
            const QString text = w->property("text").toString();
            QCOMPARE(text, caption);
        }
        QCOMPARE(f.child<QGroupBox>("fra_type")->title(), QStringLiteral("文書タイプ選択"));
        QCOMPARE(f.child<QGroupBox>("Frame3")->title(), QStringLiteral("ファイル選択モード"));
        QVERIFY(f.child<QRadioButton>("opt_0")->isChecked());
        QVERIFY(f.child<QRadioButton>("opt_f_0")->isChecked());
        QVERIFY(!f.child<QCheckBox>("chk")->isChecked());
        QCOMPARE(f.child<QLineEdit>("Text_Sufix")->text(), QStringLiteral("XLS"));
        QVERIFY(f.child<QLineEdit>("Text_Sufix")->isHidden());
        QVERIFY(f.child<QWidget>("OLE1"));
        QVERIFY(f.child<QLabel>("lbl_filename"));
        QVERIFY(f.child<QLabel>("lbl_lastup"));
        QCOMPARE(f.window->refresh_button_color(), wincolor::InactiveBorder);
        QCOMPARE(f.child<QTableView>("grd1")->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("ファイル名"));
        QCOMPARE(f.child<QTableView>("grd1")->model()->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("保存場所"));
        QWidget* wait = f.child<QWidget>("Wait_Frm");
        QCOMPARE(wait->findChild<QLabel*>()->text(), QStringLiteral("少しお待ちください. . . . ."));
        // Above the main window only, and named for a screen reader.
        QCOMPARE(wait->windowFlags() & (Qt::WindowType_Mask | Qt::WindowStaysOnTopHint),
                 Qt::WindowFlags(Qt::Tool));
        QCOMPARE(wait->parentWidget(), f.window.get());
        QCOMPARE(wait->accessibleName(), QStringLiteral("少しお待ちください. . . . ."));
    }

    void menus_hold_their_items_in_order()
    {
        MainWindowFixture f;
        QStringList seen;
        for (QAction* top : f.window->menuBar()->actions()) {
            seen.append(top->text());
            for (QAction* a : top->menu()->actions())
                seen.append(a->isSeparator() ? QStringLiteral("-")
                                             : a->objectName() + QLatin1Char('=') + a->text());
        }
        QCOMPARE(seen, (QStringList{"ファイル(&F)", "p_print=一覧印刷(&P)", "-", "p_end=終了(&E)",
                                    "編集(&I)", "p_filemove=選択ファイルの移動(&O)",
                                    "p_filecopy=選択ファイルをコピーする(&K)",
                                    "p_dust=選択ファイルをごみ箱へ移動する(&M)", "-",
                                    "p_lha=選択ファイルの圧縮(&L)", "履歴(&J)",
                                    "p_rireki=操作履歴を見る(&K)", "-",
                                    "p_undo=1つ前の操作を元に戻す(&N)", "ヘルプ(&H)",
                                    "p_use=トピックの検索(&U)", "p_ver=バージョン情報(&V)"}));
    }

    void start_up_lists_the_home_root_exactly_once()
    {
        MainWindowFixture f;
        QVERIFY(f.load());
        QTest::qWait(50);
        QCOMPARE(f.fake.folders.opened_roots, std::vector<std::string>{"/a/"});
        QCOMPARE(f.child<QLabel>("Label_Count")->text(), QStringLiteral("3"));
        QCOMPARE(f.child<QLabel>("Label_CurrentPath")->text(), QString());
        QCOMPARE(f.window->current_root(), Path(QStringLiteral("/a/")));
        QCOMPARE(f.session.drive_listed, 1);
        QCOMPARE(f.window->history().size(), 0); // start-up writes no history row
        QVERIFY(f.child<QWidget>("Wait_Frm")->isHidden());
        for (const char* name : {"p_lha", "p_filemove", "p_filecopy", "p_dust", "p_undo"})
            QVERIFY2(!f.child<QAction>(name)->isEnabled(), name);
        const ResultTableModel& grid = f.window->results();
        QCOMPARE(grid.size(), 3);
        QCOMPARE(grid.text(0, 1) + grid.text(0, 0), QStringLiteral("/a/b.xls"));
        QCOMPARE(grid.text(2, 1) + grid.text(2, 0), QStringLiteral("/a/s/c.xls"));
        QCOMPARE(grid.data(grid.index(0, 1), Qt::BackgroundRole).value<QColor>(),
                 QColor(0x80, 0xFF, 0xFF));
    }

    void coming_back_to_a_root_shows_the_remembered_list()
    {
        MainWindowFixture f;
        QVERIFY(f.load());
        QVERIFY(f.choose_root(1));
        QCOMPARE(f.child<QLabel>("Label_Count")->text(), QStringLiteral("1"));
        const int listed = f.fake.folders.folders_listed.load();
        QVERIFY(f.choose_root(0));
        QCOMPARE(f.fake.folders.folders_listed.load(), listed);
        QCOMPARE(f.child<QLabel>("Label_Count")->text(), QStringLiteral("3"));
        QCOMPARE(f.fake.folders.opened_roots, (std::vector<std::string>{"/a/", "/b/"}));
    }

    void changing_root_during_a_scan_cancels_it_and_keeps_no_stray_hits()
    {
        MainWindowFixture f;
        f.fake.folders.hold_at("/a/s/");
        f.window->Form_Load();
        QVERIFY(f.fake.folders.wait_until_held());
        QVERIFY(f.child<QWidget>("Wait_Frm")->isVisible());
        QTest::qWait(250);
        f.fake.folders.release();
        QVERIFY(f.choose_root(1));
        QTest::qWait(250);
        QCOMPARE(f.window->results().size(), 1);
        QCOMPARE(f.window->results().text(0, 0), QStringLiteral("only.xls"));
        QVERIFY(
            !f.session.cache.has_cached_list(list_key(QStringLiteral("/a/"), QStringLiteral("X"))));
        QCOMPARE(f.session.cache.count(list_key(QStringLiteral("/b/"), QStringLiteral("X"))), 1);
        QVERIFY(f.child<QWidget>("Wait_Frm")->isHidden());
    }

    void a_command_during_a_scan_leaves_the_scan_its_hourglass()
    {
        MainWindowFixture f;
        f.fake.folders.hold_at("/a/s/");
        QSignalSpy done(&f.window->catalogue(), &Catalogue::listing_finished);
        f.window->Form_Load();
        QVERIFY(f.fake.folders.wait_until_held());
        QVERIFY(QApplication::overrideCursor());
        f.window->set_busy_pointer(true); // a file operation starts and ends meanwhile
        f.window->set_busy_pointer(false);
        QVERIFY(QApplication::overrideCursor());
        f.fake.folders.release();
        QVERIFY(done.wait(5000));
        QVERIFY(!QApplication::overrideCursor());
    }

    void no_other_command_can_start_while_one_asks_its_question()
    {
        MainWindowFixture f;
        QVERIFY(f.load());
        // An earlier copy to undo: its question comes while the undo runs.
        f.session.undo.record(UndoKind::Copy, {UndoEntry{Path(QStringLiteral("/a/b.xls")),
                                                         Path(QStringLiteral("/b/b.xls")),
                                                         FileIdentity{}, TrashedFile{}}});
        const QStringList starters{QStringLiteral("Command1"), QStringLiteral("cmd_open"),
                                   QStringLiteral("dir1")};
        auto* open = f.child<QWidget>("cmd_open");
        open->setEnabled(false); // as before a file is picked: it must come back disabled
        QStringList enabledDuring;
        bool menusDuring = true;
        f.fake.messages.during_show = [&](const QString&) {
            menusDuring = f.window->menuBar()->isEnabled();
            for (const QString& name : starters) {
                if (f.window->findChild<QWidget*>(name)->isEnabled())
                    enabledDuring << name;
            }
        };
        auto* undo = f.child<QAction>("p_undo");
        undo->setEnabled(true);
        undo->trigger(); // the question is answered No
        QVERIFY(!f.fake.messages.shown.isEmpty());
        QVERIFY(!menusDuring);
        QCOMPARE(enabledDuring, QStringList());
        QVERIFY(f.window->menuBar()->isEnabled());
        QVERIFY(f.child<QWidget>("Command1")->isEnabled());
        QVERIFY(f.child<QWidget>("dir1")->isEnabled());
        QVERIFY(!open->isEnabled());
        QVERIFY(!f.session.command_running);
    }

    void the_blink_shows_four_flashes_and_ends_in_button_face()
    {
        MainWindowFixture f;
        f.window->start_blink();
        QVERIFY(f.child<QTimer>("Timer1")->isActive());
        QCOMPARE(f.child<QTimer>("Timer1")->interval(), 500);
        QList<WinColor> colours;
        for (int i = 0; i < 8; ++i) {
            f.window->Timer1_Timer();
            colours.append(f.window->refresh_button_color());
            if (i == 2)
                QVERIFY(f.child<QTimer>("Timer1")->isActive());
        }
        const WinColor blue = 0xFF0000u, face = 0x8000000Fu;
        QCOMPARE(colours, (QList<WinColor>{blue, face, blue, face, blue, face, blue, face}));
        QVERIFY(!f.child<QTimer>("Timer1")->isActive());
        QCOMPARE(f.session.blink_count, 1);
        QCOMPARE(f.child<QPushButton>("Command1")->property("backColor").value<WinColor>(), face);
    }

    void restarting_the_blink_counts_from_the_start()
    {
        MainWindowFixture f;
        f.window->start_blink();
        for (int i = 0; i < 5; ++i)
            f.window->Timer1_Timer();
        f.window->start_blink();
        QCOMPARE(f.session.blink_count, 1);
        int ticks = 0;
        while (f.child<QTimer>("Timer1")->isActive() && ticks < 20) {
            f.window->Timer1_Timer();
            ++ticks;
        }
        QCOMPARE(ticks, 8);
        QCOMPARE(f.window->refresh_button_color(), wincolor::ButtonFace);
    }

    void the_blink_runs_on_its_timer()
    {
        MainWindowFixture f;
        f.window->start_blink();
        QTRY_COMPARE_WITH_TIMEOUT(f.window->refresh_button_color(), WinColor(0xFF0000u), 1500);
        QTRY_VERIFY_WITH_TIMEOUT(!f.child<QTimer>("Timer1")->isActive(), 6000);
        QCOMPARE(f.window->refresh_button_color(), wincolor::ButtonFace);
    }

    void exit_commands_and_the_frame_end_the_program()
    {
        for (int way = 0; way < 3; ++way) {
            MainWindowFixture f;
            QSignalSpy ended(f.window.get(), &QRV_Main::end_requested);
            f.fake.folders.hold_at("/a/s/");
            f.window->Form_Load();
            QVERIFY(f.fake.folders.wait_until_held());
            // Ending must not wait for the held scan: release it only from another thread
            // after a while, as a slow disk would.
            std::thread releaser([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                f.fake.folders.release();
            });
            if (way == 0)
                f.child<QPushButton>("cmd_end")->click();
            else if (way == 1)
                f.child<QAction>("p_end")->trigger();
            else
                f.window->close();
            releaser.join();
            QCOMPARE(ended.count(), 1);
            QVERIFY(!f.window->catalogue().scanning());
        }
    }

    void history_viewer_is_modal_and_keeps_the_log()
    {
        MainWindowFixture f;
        QVERIFY(f.load());
        f.window->history().append_history_row(QStringLiteral("row while hidden"), history::Copy);
        bool wasModal = false;
        int rowsShown = -1;
        QTimer::singleShot(100, [&] {
            rireki_Frm& h = f.window->history_window();
            wasModal = h.isModal() && h.isVisible();
            rowsShown = h.grd2()->model()->rowCount();
            h.findChild<QPushButton*>(QStringLiteral("cmd_ok"))->click();
        });
        f.child<QAction>("p_rireki")->trigger();
        QVERIFY(wasModal);
        QCOMPARE(rowsShown, 1);
        QVERIFY(!f.window->history_window().isVisible());
        QCOMPARE(f.window->history().size(), 1);
        QCOMPARE(f.window->history_window().findChild<QLabel*>(QStringLiteral("Label1"))->text(),
                 QStringLiteral("操作履歴"));

        QTimer::singleShot(100, [&] {
            rireki_Frm& h = f.window->history_window();
            auto* clear = h.findChild<QPushButton*>(QStringLiteral("Command1"));
            QCOMPARE(clear->text(), QStringLiteral("履歴のクリア"));
            clear->click();
            rowsShown = h.grd2()->model()->rowCount();
            h.findChild<QPushButton*>(QStringLiteral("cmd_ok"))->click();
        });
        f.child<QAction>("p_rireki")->trigger();
        QCOMPARE(rowsShown, 0);
        QCOMPARE(f.window->history().size(), 0);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
