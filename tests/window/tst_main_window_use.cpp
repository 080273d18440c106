// SPDX-License-Identifier: GPL-3.0-or-later
// Using the main window as a person does: the keyboard alone, a small screen, a wide one, and a
// screen reader that needs a name for every control.
#include "catalogue/result_table_model.h"
#include "main_window_fixture.h"
#include "selection/grid_selection.h"
#include "session/history_log.h"
#include "window/grid_setup.h"
#include "window/rireki_frm.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>

using namespace pelmora;
using namespace pelmora::test;

namespace {

bool show_active(QWidget* w)
{
    w->show();
    if (!QTest::qWaitForWindowExposed(w))
        return false;
    QApplication::setActiveWindow(w);
    return QTest::qWaitForWindowActive(w);
}

QString focus_name()
{
    QWidget* w = QApplication::focusWidget();
    return w ? w->objectName() : QStringLiteral("(none)");
}

QString accessible_name(QWidget* w)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Name) : QString();
}

} // namespace

class TestMainWindowUse : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void tab_walks_the_window_once_and_leaves_the_grid()
    {
        MainWindowFixture f;
        QVERIFY(f.load());
        QVERIFY(show_active(f.window.get()));
        f.child<QRadioButton>("opt_0")->setFocus(Qt::TabFocusReason);
        QStringList walk{focus_name()};
        for (int i = 0; i < 10; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            walk.append(focus_name());
        }
        // One stop per option pair; the grid is passed like any other control.
        QCOMPARE(walk, (QStringList{"opt_0", "dir1", "opt_f_0", "txt_filter", "grd1", "chk",
                                    "OLE1_scroll", "Command1", "cmd_open", "cmd_end", "opt_0"}));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(focus_name(), QStringLiteral("cmd_end"));
    }

    void arrows_choose_and_space_or_enter_click_a_row()
    {
        MainWindowFixture f;
        QVERIFY(f.load());
        QVERIFY(show_active(f.window.get()));
        auto* grid = f.child<QTableView>("grd1");
        const ResultTableModel& rows = f.window->results();
        QVERIFY(rows.size() >= 3);
        grid->setFocus(Qt::TabFocusReason);
        QVERIFY(grid->currentIndex().isValid());
        QCOMPARE(grid->currentIndex().row(), 0);
        QVERIFY(f.session.sel_file.is_empty()); // focus alone selects nothing

        QTest::keyClick(grid, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_Space);
        QCOMPARE(f.session.sel_file, Path(rows.text(1, 0)));
        QCOMPARE(f.session.sel_dir, Path(rows.text(1, 1)));
        QCOMPARE(f.session.cur_row, 2);
        QVERIFY(f.child<QAction>("p_filecopy")->isEnabled());
        QCOMPARE(f.child<QLabel>("lbl_filename")->text(), rows.text(1, 0));

        QTest::keyClick(grid, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_Return);
        QCOMPARE(f.session.sel_file, Path(rows.text(2, 0)));
        QCOMPARE(f.session.prev_row, 2);
        QCOMPARE(f.session.cur_row, 3);

        // Multiple mode: each key click adds the row's path, as a mouse click does.
        f.child<QRadioButton>("opt_f_1")->click();
        grid->setFocus(Qt::TabFocusReason);
        QTest::keyClick(grid, Qt::Key_Up);
        QTest::keyClick(grid, Qt::Key_Enter);
        QTest::keyClick(grid, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_Space);
        QCOMPARE(f.session.sel_marks,
                 (paths({rows.text(1, 1) + rows.text(1, 0), rows.text(2, 1) + rows.text(2, 0)})));
    }

    void the_window_fits_a_1024_by_768_screen()
    {
        MainWindowFixture f;
        QVERIFY(f.load());
        QVERIFY(show_active(f.window.get()));
        QVERIFY2(
            f.window->width() <= 1024 && f.window->height() <= 768,
            qPrintable(QStringLiteral("%1x%2").arg(f.window->width()).arg(f.window->height())));
        const QSize least = f.window->minimumSizeHint();
        QVERIFY2(least.width() <= 1000 && least.height() <= 700,
                 qPrintable(QStringLiteral("needs %1x%2").arg(least.width()).arg(least.height())));
        // Every button lies inside the window.
        for (const char* name : {"Command1", "cmd_open", "cmd_end"}) {
            auto* b = f.child<QPushButton>(name);
            const QRect r(b->mapTo(f.window.get(), QPoint(0, 0)), b->size());
            QVERIFY2(f.window->rect().contains(r), name);
        }
        auto* count = f.child<QLabel>("Label_Count");
        count->setText(QStringLiteral("12345678"));
        QApplication::processEvents();
        QVERIFY(count->width() >= count->fontMetrics().horizontalAdvance(count->text()));
    }

    void the_folder_column_takes_the_spare_width_and_keeps_its_minimum()
    {
        MainWindowFixture f;
        QVERIFY(f.load());
        QVERIFY(show_active(f.window.get()));
        auto* grid = f.child<QTableView>("grd1");
        const int name = grid->columnWidth(ResultTableModel::NameColumn);
        const int start = twips_to_pixels(grid, 3500);
        const int refresh = twips_to_pixels(grid, 2500);

        f.window->resize(1900, 1000);
        QTRY_VERIFY(grid->viewport()->width() > name + start + 100);
        QTRY_COMPARE(name + grid->columnWidth(ResultTableModel::FolderColumn),
                     grid->viewport()->width());
        const int wide = grid->columnWidth(ResultTableModel::FolderColumn);
        QVERIFY(f.refresh());
        QCOMPARE(grid->columnWidth(ResultTableModel::FolderColumn), wide - (start - refresh));

        QVERIFY(f.choose_root(1));
        QCOMPARE(grid->columnWidth(ResultTableModel::FolderColumn), wide);
    }

    void a_stretched_column_never_gets_narrower_than_its_width()
    {
        ResultTableModel model;
        QTableView view;
        view.setModel(&model);
        setup_grid_view(&view);
        view.setColumnWidth(0, 200);
        auto* column = new StretchColumn(&view, 1, 3500);
        view.resize(260, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.columnWidth(1), twips_to_pixels(&view, 3500));
        column->set_twips(2500);
        QCOMPARE(view.columnWidth(1), twips_to_pixels(&view, 2500));
        // The grid scrolls sideways instead of squeezing the column.
        QVERIFY(view.horizontalScrollBar()->maximum() > 0);
        view.resize(1200, 200);
        QTRY_COMPARE(view.columnWidth(0) + view.columnWidth(1) + twips_to_pixels(&view, 3500) -
                         twips_to_pixels(&view, 2500),
                     view.viewport()->width());
    }

    void history_columns_show_whole_stamps_and_follow_the_window()
    {
        MainWindowFixture f;
        QVERIFY(f.load());
        f.window->history().append_history_row(QStringLiteral("row"), history::Copy);
        rireki_Frm& h = f.window->history_window();
        h.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h));
        QTableView* grid = h.grd2();
        const QString stamp = grid->model()->index(0, 0).data().toString();
        QVERIFY(grid->columnWidth(0) > grid->fontMetrics().horizontalAdvance(stamp));
        QVERIFY(grid->columnWidth(0) >= twips_to_pixels(grid, kHistoryTimeTwips));
        h.resize(1800, 500);
        QTRY_COMPARE(grid->columnWidth(0) + grid->columnWidth(1), grid->viewport()->width());
        h.resize(400, 300);
        QTRY_VERIFY(grid->viewport()->width() < 400);
        QCOMPARE(grid->columnWidth(1), twips_to_pixels(grid, kHistoryTextTwips));
        h.hide();
    }

    // The habits of every file list, each on a fresh window: a gesture and what it must do.
    void file_list_habits()
    {
        using Check = std::function<QString(MainWindowFixture&, QTableView*)>;
        const auto path = [](MainWindowFixture& f, int row) {
            return f.window->results().text(row, 1) + f.window->results().text(row, 0);
        };
        const auto cell = [](QTableView* g, int row) {
            return g->visualRect(g->model()->index(row, 0)).center();
        };
        const auto opened = [path](int row) {
            return [path, row](MainWindowFixture& f, QTableView*) {
                const PathList want{Path(path(f, row))};
                return f.fake.opener.opened == want
                           ? QString()
                           : QStringLiteral("opened ") + texts(f.fake.opener.opened).join(u',');
            };
        };
        const auto names = [](MainWindowFixture& f) {
            QStringList n;
            for (qsizetype r = 0; r < f.window->results().size(); ++r)
                n << f.window->results().text(r, 0);
            return n;
        };
        const auto header = [](QTableView* g) { return g->horizontalHeader(); };
        const auto clickHeader = [header](QTableView* g) {
            QTest::mouseClick(header(g)->viewport(), Qt::LeftButton, {},
                              QPoint(header(g)->sectionViewportPosition(0) + 5, 5));
        };
        struct Habit
        {
            const char* what;
            std::function<void(MainWindowFixture&, QTableView*)> act;
            Check done;
        };
        const Habit habits[] = {
            {"a double-click opens the row",
             [cell](MainWindowFixture&, QTableView* g) {
                 QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, cell(g, 1));
                 QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, cell(g, 1));
             },
             opened(1)},
            {"Enter opens the current row",
             [](MainWindowFixture&, QTableView* g) {
                 QTest::keyClick(g, Qt::Key_Down);
                 QTest::keyClick(g, Qt::Key_Return);
             },
             opened(1)},
            {"Delete starts the trash command",
             [cell](MainWindowFixture& f, QTableView* g) {
                 QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, cell(g, 0));
                 // Only whether the key reaches the command: the fakes have no shell.
                 QAction* dust = f.window->menu_item("p_dust");
                 QObject::disconnect(dust, &QAction::triggered, nullptr, nullptr);
                 QObject::connect(dust, &QAction::triggered, f.window.get(),
                                  [&f] { f.fake.opener.opened << Path(QStringLiteral("trash")); });
                 QTest::keyClick(g, Qt::Key_Delete);
             },
             [](MainWindowFixture& f, QTableView*) {
                 return f.fake.opener.opened == paths({"trash"}) ? QString()
                                                                 : QStringLiteral("no trash");
             }},
            {"F5 refreshes",
             [](MainWindowFixture& f, QTableView* g) {
                 QSignalSpy done(&f.window->catalogue(), &Catalogue::listing_finished);
                 QTest::keyClick(g, Qt::Key_F5);
                 if (done.isEmpty())
                     done.wait(5000);
             },
             [](MainWindowFixture& f, QTableView*) {
                 const QString last = f.window->history().rowCount() > 0
                                          ? f.window->history().index(0, 1).data().toString()
                                          : QString();
                 return last == QStringLiteral("最新の情報に更新 ボタンを押下しました")
                            ? QString()
                            : QStringLiteral("history row ") + last;
             }},
            {"a header click sorts in Japanese order with an indicator",
             [clickHeader](MainWindowFixture&, QTableView* g) { clickHeader(g); },
             [names, header](MainWindowFixture& f, QTableView* g) {
                 const QStringList n = names(f);
                 return n.indexOf(QStringLiteral("カ.xls")) < n.indexOf(QStringLiteral("き.xls")) &&
                                n.first() == QStringLiteral("b.xls") &&
                                header(g)->sortIndicatorOrder() == Qt::AscendingOrder &&
                                header(g)->sortIndicatorSection() == 0
                            ? QString()
                            : n.join(u',');
             }},
            {"a second header click reverses the order",
             [clickHeader](MainWindowFixture&, QTableView* g) {
                 clickHeader(g);
                 clickHeader(g);
             },
             [names, header](MainWindowFixture& f, QTableView* g) {
                 const QStringList n = names(f);
                 return n.indexOf(QStringLiteral("き.xls")) < n.indexOf(QStringLiteral("カ.xls")) &&
                                n.last() == QStringLiteral("b.xls") &&
                                header(g)->sortIndicatorOrder() == Qt::DescendingOrder
                            ? QString()
                            : n.join(u',');
             }},
            {"multiple mode counts the marked files",
             [cell](MainWindowFixture& f, QTableView* g) {
                 f.child<QRadioButton>("opt_f_1")->click();
                 for (const int row : {0, 2, 0})
                     QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, cell(g, row));
             },
             [](MainWindowFixture& f, QTableView*) {
                 auto* count = f.child<QLabel>("lbl_marked");
                 return count->isVisible() && count->text() == QStringLiteral("選択中 2 ファイル")
                            ? QString()
                            : count->text();
             }},
            {"the context menu offers the file commands on the row",
             [](MainWindowFixture& f, QTableView* g) {
                 QTimer::singleShot(0, [&f] {
                     if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                         for (QAction* a : menu->actions())
                             f.fake.opener.opened << Path(a->text());
                         menu->close();
                     }
                 });
                 Q_EMIT g->customContextMenuRequested(
                     g->visualRect(g->model()->index(1, 0)).center());
             },
             [path](MainWindowFixture& f, QTableView*) {
                 const PathList want =
                     paths({"選択ファイルを開く(&O)", "", "選択ファイルをコピーする(&K)",
                            "選択ファイルの移動(&O)", "選択ファイルをごみ箱へ移動する(&M)", "",
                            "選択ファイルの圧縮(&L)"});
                 return f.fake.opener.opened == want && f.session.sel_path() == Path(path(f, 1))
                            ? QString()
                            : texts(f.fake.opener.opened).join(u',');
             }},
            {"a switched-off Refresh looks switched off",
             [](MainWindowFixture& f, QTableView*) {
                 f.window->start_blink();
                 f.window->Timer1_Timer();
                 f.window->set_commands_enabled(false);
             },
             [](MainWindowFixture& f, QTableView*) {
                 auto* b = f.child<QPushButton>("Command1");
                 const QColor off = f.window->palette().color(QPalette::Disabled, QPalette::Button);
                 return !b->isEnabled() &&
                                b->palette().color(QPalette::Disabled, QPalette::Button) == off &&
                                b->palette().color(QPalette::Active, QPalette::Button) != off
                            ? QString()
                            : QStringLiteral("disabled colour ") +
                                  b->palette().color(QPalette::Disabled, QPalette::Button).name();
             }},
            {"history opens at its newest row",
             [](MainWindowFixture& f, QTableView*) {
                 for (int i = 0; i < 200; ++i)
                     f.window->history().append_history_row(QString::number(i), history::Copy);
                 f.window->history_window().show();
                 QVERIFY(QTest::qWaitForWindowExposed(&f.window->history_window()));
             },
             [](MainWindowFixture& f, QTableView*) {
                 QScrollBar* bar = f.window->history_window().grd2()->verticalScrollBar();
                 const bool newest = bar->maximum() > 0 && bar->value() == bar->maximum();
                 f.window->history_window().hide();
                 return newest ? QString() : QString::number(bar->value());
             }},
        };
        for (const Habit& habit : habits) {
            MainWindowFixture f([](FakePlatform& p) {
                p.tree.add_folder("/a/", {file("z.xls"), dir("s"), file("b.xls"), file("き.xls"),
                                          file("カ.xls")});
            });
            QVERIFY(f.load());
            QVERIFY(show_active(f.window.get()));
            auto* grid = f.child<QTableView>("grd1");
            grid->setFocus(Qt::TabFocusReason);
            habit.act(f, grid);
            const QString wrong = habit.done(f, grid);
            QVERIFY2(wrong.isEmpty(), qPrintable(QString::fromUtf8(habit.what) + ": " + wrong));
        }
    }

    void a_long_history_row_keeps_its_file_name()
    {
        const QFontMetrics metrics(QApplication::font());
        const QString folder = QStringLiteral("/home/user/") + QString(60, QChar(u'長')) + u'/';
        // Two paths, as a compression row has: each file name and the words stay whole.
        const QString row = folder + QStringLiteral("月報.xlsを ") + folder +
                            QStringLiteral("dest/に圧縮して保存(pack.LZH)しました");
        for (const int width : {900, 600, 450}) {
            const QString shown = elide_folders(row, metrics, width);
            QVERIFY2(metrics.horizontalAdvance(shown) <= width, qPrintable(shown));
            QVERIFY2(shown.contains(QStringLiteral("/月報.xlsを /")) &&
                         shown.endsWith(QStringLiteral("/に圧縮して保存(pack.LZH)しました")) &&
                         shown.startsWith(u'/') && shown.contains(QChar(0x2026)),
                     qPrintable(shown));
        }
        QCOMPARE(elide_folders(row, metrics, 100000), row);
    }

    void every_control_and_picture_has_an_accessible_name()
    {
        MainWindowFixture f;
        QVERIFY(f.load());
        QVERIFY(show_active(f.window.get()));
        QStringList unnamed;
        for (QWidget* w : f.window->findChildren<QWidget*>()) {
            if (!w->isVisible() || w->objectName().isEmpty() ||
                w->objectName().startsWith(QLatin1String("qt_")))
                continue;
            // Labels are read by their text; pictures and frames need a name of their own.
            const bool control = w->focusPolicy() != Qt::NoFocus && !qobject_cast<QLabel*>(w);
            const bool named_part =
                QStringList{"Frame2", "OLE1", "fra_type", "Frame3"}.contains(w->objectName());
            if ((control || named_part) && accessible_name(w).isEmpty())
                unnamed.append(w->objectName());
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char(' '))));
        QCOMPARE(accessible_name(f.child<QWidget>("grd1")), QStringLiteral("検索一覧"));
        QCOMPARE(accessible_name(f.child<QWidget>("OLE1")), QStringLiteral("プレビュー画像"));
        // The root list reads as the root it shows, labelled by its caption.
        QAccessibleInterface* roots =
            QAccessible::queryAccessibleInterface(f.child<QWidget>("dir1"));
        QCOMPARE(roots->text(QAccessible::Name), QStringLiteral("/a/  [ホーム]"));
        bool labelled = false;
        for (const auto& [other, relation] : roots->relations(QAccessible::Label))
            labelled = labelled ||
                       other->text(QAccessible::Name) == QStringLiteral("読込ドライブの選択：");
        QVERIFY(labelled);
        QCOMPARE(accessible_name(f.child<QWidget>("cmd_end")), QStringLiteral("終了(E)"));
        QCOMPARE(accessible_name(f.window->history_window().grd2()), QStringLiteral("操作履歴"));
    }
};

QTEST_MAIN(TestMainWindowUse)
#include "tst_main_window_use.moc"
