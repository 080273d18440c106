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
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableView>

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
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            walk.append(focus_name());
        }
        // One stop per option pair; the grid is passed like any other control.
        QCOMPARE(walk, (QStringList{"opt_0", "dir1", "opt_f_0", "grd1", "chk", "Command1",
                                    "cmd_open", "cmd_end", "opt_0"}));
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
        QVERIFY(f.session.sel_file.isEmpty()); // focus alone selects nothing

        QTest::keyClick(grid, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_Space);
        QCOMPARE(f.session.sel_file, rows.text(1, 0));
        QCOMPARE(f.session.sel_dir, rows.text(1, 1));
        QCOMPARE(f.session.cur_row, 2);
        QVERIFY(f.child<QAction>("p_filecopy")->isEnabled());
        QCOMPARE(f.child<QLabel>("lbl_filename")->text(), rows.text(1, 0));

        QTest::keyClick(grid, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_Return);
        QCOMPARE(f.session.sel_file, rows.text(2, 0));
        QCOMPARE(f.session.prev_row, 2);
        QCOMPARE(f.session.cur_row, 3);

        // Multiple mode: each key click adds the row's path, as a mouse click does.
        f.child<QRadioButton>("opt_f_1")->click();
        grid->setFocus(Qt::TabFocusReason);
        QTest::keyClick(grid, Qt::Key_Up);
        QTest::keyClick(grid, Qt::Key_Enter);
        QTest::keyClick(grid, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_Space);
        QCOMPARE(f.session.sel_marks, (QStringList{rows.text(1, 1) + rows.text(1, 0),
                                                   rows.text(2, 1) + rows.text(2, 0)}));
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
