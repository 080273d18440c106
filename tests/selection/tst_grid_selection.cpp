// SPDX-License-Identifier: GPL-3.0-or-later
// Grid clicks in both modes, mode switches, the preview pane and the preview labels.
#include "catalogue/result_table_model.h"
#include "main_window_fixture.h"
#include "selection/date_text.h"
#include "selection/grid_selection.h"
#include "selection/preview_pane.h"
#include "selection/preview_viewer.h"
#include "session/session.h"
#include "test_tree.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QRadioButton>
#include <QScrollArea>
#include <QTableView>
#include <QTest>
#include <QWheelEvent>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

const char* const kFileItems[] = {"p_lha", "p_filemove", "p_filecopy", "p_dust"};

// Eight files in /g/, so row numbers mean something.
void eight_files(FakePlatform& p)
{
    p.roots.list.prepend(Root{Path(QStringLiteral("/g/")), QString()});
    std::vector<FolderEntry> entries;
    for (int i = 1; i <= 8; ++i)
        entries.push_back(file("f" + std::to_string(i) + ".xls"));
    p.tree.add_folder("/g/", entries);
}

bool items_enabled(const MainWindowFixture& f, bool on)
{
    for (const char* name : kFileItems) {
        if (f.child<QAction>(name)->isEnabled() != on)
            return false;
    }
    return true;
}

WinColor name_color(MainWindowFixture& f, qsizetype row)
{
    return f.window->results().cell_background(row - 1, ResultTableModel::NameColumn);
}

} // namespace

class TestGridSelection : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void a_grid_without_files_ignores_clicks()
    {
        MainWindowFixture f([](FakePlatform& p) {
            p.roots.list.prepend(Root{Path(QStringLiteral("/none/")), QString()});
            p.tree.add_folder("/none/", {file("x.txt")});
        });
        QVERIFY(f.load());
        f.window->selection().grd1_Click(1);
        f.window->selection().grd1_Click(0);
        QVERIFY(f.session.sel_dir.is_empty());
        QCOMPARE(f.session.cur_row, 0);
        QVERIFY(items_enabled(f, false));
    }

    void single_clicks_move_the_highlight()
    {
        MainWindowFixture f(eight_files);
        QVERIFY(f.load());
        f.window->selection().grd1_Click(5);
        QCOMPARE(f.session.sel_dir, Path(QStringLiteral("/g/")));
        QCOMPARE(f.session.sel_file, Path(QStringLiteral("f5.xls")));
        QCOMPARE(f.session.cur_row, 5);
        QCOMPARE(f.session.prev_row, 0);
        QCOMPARE(name_color(f, 5), wincolor::Selected);
        QVERIFY(items_enabled(f, true));
        QCOMPARE(f.child<QLabel>("lbl_filename")->text(), QStringLiteral("f5.xls"));

        f.window->selection().grd1_Click(2);
        QCOMPARE(f.session.prev_row, 5);
        QCOMPARE(f.session.cur_row, 2);
        QCOMPARE(name_color(f, 5), wincolor::Window);
        QCOMPARE(name_color(f, 2), wincolor::Selected);

        f.window->selection().grd1_Click(2);
        QCOMPARE(f.session.prev_row, 2);
        QCOMPARE(f.session.cur_row, 2);
        QCOMPARE(name_color(f, 2), wincolor::Selected);
        QVERIFY(path_list_is_empty(f.session.sel_marks));
        QCOMPARE(f.window->results().cell_background(1, ResultTableModel::FolderColumn),
                 wincolor::FolderCell);
    }

    void a_real_click_on_the_view_selects_the_row()
    {
        MainWindowFixture f(eight_files);
        QVERIFY(f.load());
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        auto* view = f.child<QTableView>("grd1");
        const QRect cell = view->visualRect(view->model()->index(2, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(f.session.sel_file, Path(QStringLiteral("f3.xls")));
        QCOMPARE(f.session.cur_row, 3);
    }

    void multiple_mode_collects_paths_in_click_order_with_repeats()
    {
        MainWindowFixture f(eight_files);
        QVERIFY(f.load());
        f.child<QRadioButton>("opt_f_1")->click();
        QVERIFY(!f.window->single_mode());
        for (int row : {3, 7, 3})
            f.window->selection().grd1_Click(row);
        QCOMPARE(f.session.sel_marks, (paths({"/g/f3.xls", "/g/f7.xls", "/g/f3.xls"})));
        QCOMPARE(name_color(f, 3), wincolor::Selected);
        QCOMPARE(name_color(f, 7), wincolor::Selected);
        QCOMPARE(name_color(f, 5), wincolor::Window);
        QCOMPARE(f.session.sel_file, Path(QStringLiteral("f3.xls")));
        QCOMPARE(f.session.prev_row, 0);
        QVERIFY(f.child<QLabel>("lbl_filename")->text().isEmpty()); // labels untouched
        QVERIFY(items_enabled(f, true));

        // A refresh keeps the marks although no row is highlighted any more.
        QVERIFY(f.refresh());
        QCOMPARE(f.session.sel_marks.size(), 3);
        QCOMPARE(name_color(f, 3), wincolor::None);

        // Back to single: highlights cleared, marks emptied, rows forgotten, items off.
        f.window->selection().grd1_Click(4);
        f.child<QRadioButton>("opt_f_0")->click();
        QVERIFY(path_list_is_empty(f.session.sel_marks));
        QCOMPARE(name_color(f, 4), wincolor::Window);
        QCOMPARE(f.session.cur_row, 0);
        QCOMPARE(f.session.prev_row, 0);
        QVERIFY(items_enabled(f, false));
        QCOMPARE(f.session.sel_file, Path(QStringLiteral("f4.xls"))); // kept
    }

    void switching_to_multiple_keeps_the_empty_mark_list()
    {
        MainWindowFixture f(eight_files);
        QVERIFY(f.load());
        f.window->selection().grd1_Click(6);
        f.child<QRadioButton>("opt_f_1")->click();
        QVERIFY(items_enabled(f, false));
        QCOMPARE(name_color(f, 6), wincolor::Window);
        QVERIFY(path_list_is_empty(f.session.sel_marks));
        QCOMPARE(f.session.sel_marks.size(), 1);
    }

    void labels_show_the_file_date_and_keep_it_when_the_file_is_gone()
    {
        TestTree tree;
        QVERIFY(tree.createFile("one.xls"));
        QVERIFY(tree.createFile("two.xls"));
        QFile one(tree.path("one.xls"));
        QVERIFY(one.open(QIODevice::ReadWrite));
        QVERIFY(one.setFileTime(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)),
                                QFileDevice::FileModificationTime));
        one.close();
        // A name copied from an old Windows machine: Shift_JIS bytes, not UTF-8.
        const std::string sjis = "\x8e\x91\x97\xbf.xls"; // 資料.xls
        const std::string raw = tree.root().toStdString() + '/' + sjis;
        const int fd = ::open(raw.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0);
        const qint64 when = 1262401445; // 2010-01-02 03:04:05 UTC
        const struct timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
        QVERIFY(::futimens(fd, times) == 0 && ::close(fd) == 0);
        MainWindowFixture f([&](FakePlatform& p) {
            p.roots.list.prepend(Root{Path(tree.root()), QString()});
            p.tree.add_folder(tree.root().toStdString(),
                              {file("one.xls"), file("two.xls"), file(sjis)});
        });
        QVERIFY(f.load());
        f.window->selection().grd1_Click(1);
        QCOMPARE(f.child<QLabel>("lbl_lastup")->text(), QStringLiteral("2024/03/05 14:07:09"));
        QVERIFY(QFile::remove(tree.path("two.xls")));
        f.window->selection().grd1_Click(2);
        QCOMPARE(f.child<QLabel>("lbl_filename")->text(), QStringLiteral("two.xls"));
        QCOMPARE(f.child<QLabel>("lbl_lastup")->text(), QStringLiteral("2024/03/05 14:07:09"));
        QVERIFY(f.fake.messages.shown.isEmpty());

        f.window->selection().grd1_Click(3);
        QCOMPARE(f.child<QLabel>("lbl_filename")->text(), QStringLiteral("資料.xls"));
        QCOMPARE(f.child<QLabel>("lbl_lastup")->text(),
                 general_date_text(QDateTime::fromSecsSinceEpoch(when)));
    }

    void general_date_leaves_out_midnight()
    {
        QCOMPARE(general_date_text(QDateTime(QDate(2024, 3, 5), QTime(0, 0))),
                 QStringLiteral("2024/03/05"));
        QCOMPARE(general_date_text(QDateTime(QDate(2024, 12, 25), QTime(0, 0, 1))),
                 QStringLiteral("2024/12/25 0:00:01"));
        QCOMPARE(general_date_text(QDateTime(QDate(2024, 1, 2), QTime(9, 5, 3))),
                 QStringLiteral("2024/01/02 9:05:03"));
    }

    void preview_follows_the_clicks_while_ticked()
    {
        MainWindowFixture f(eight_files);
        QVERIFY(f.load());
        f.window->show();
        f.window->selection().grd1_Click(1);
        QVERIFY(f.fake.renderer.rendered.isEmpty()); // not ticked: no preview, no wait window

        bool waitShown = false;
        f.fake.renderer.during = [&](const Path&) {
            waitShown = f.child<QWidget>("Wait_Frm")->isVisible();
        };
        f.child<QCheckBox>("chk")->click(); // ticking previews the selected file
        QCOMPARE(f.fake.renderer.rendered, paths({"/g/f1.xls"}));
        QVERIFY(waitShown);
        QVERIFY(f.child<QWidget>("Wait_Frm")->isHidden());
        QCOMPARE(f.window->preview().source_document(), Path(QStringLiteral("/g/f1.xls")));
        QVERIFY(f.window->preview().has_picture());

        f.window->selection().grd1_Click(4);
        QCOMPARE(f.fake.renderer.rendered.last(), Path(QStringLiteral("/g/f4.xls")));
        QCOMPARE(f.window->preview().source_document(), Path(QStringLiteral("/g/f4.xls")));

        // A failed link on the grid path shows its reason in the pane, and no message box.
        f.fake.renderer.failFor = paths({"/g/f6.xls"});
        f.window->selection().grd1_Click(6);
        QVERIFY(f.fake.messages.shown.isEmpty());
        QVERIFY(!f.window->preview().has_picture());
        QCOMPARE(f.window->preview().shown_reason(), QStringLiteral("failed"));
        QCOMPARE(f.child<QLabel>("OLE1")->text(), QStringLiteral("failed"));
        QVERIFY(f.child<QWidget>("Wait_Frm")->isHidden());
        // The next good link replaces the reason with the picture.
        f.window->selection().grd1_Click(4);
        QVERIFY(f.window->preview().has_picture());
        QVERIFY(f.window->preview().shown_reason().isEmpty());

        // Unticking empties the pane.
        f.window->selection().grd1_Click(4);
        f.child<QCheckBox>("chk")->click();
        QVERIFY(f.window->preview().source_document().is_empty());
        QVERIFY(!f.window->preview().has_picture());
    }

    void ticking_onto_a_failing_file_shows_the_message_and_the_reason()
    {
        MainWindowFixture f(eight_files);
        QVERIFY(f.load());
        f.window->show();
        f.window->selection().grd1_Click(2);
        f.fake.renderer.failFor = paths({"/g/f2.xls"});
        f.child<QCheckBox>("chk")->click();
        QCOMPARE(f.fake.messages.shown.size(), 1);
        QCOMPARE(f.fake.messages.shown[0].text,
                 QStringLiteral("ファイルのプレビューまたはクリアに失敗しました"));
        QCOMPARE(f.window->preview().shown_reason(), QStringLiteral("failed"));
    }

    void picture_is_as_wide_as_the_pane_and_scrolls_and_double_click_opens_the_viewer()
    {
        MainWindowFixture f(eight_files);
        QVERIFY(f.load());
        f.window->resize(1000, 700);
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        f.child<QCheckBox>("chk")->click();
        f.window->selection().grd1_Click(3);
        auto* pane = f.child<QLabel>("OLE1");
        auto* scroll = f.child<QScrollArea>("OLE1_scroll");
        QVERIFY(scroll);
        QCOMPARE(scroll->widget(), pane);
        const QPixmap picture = pane->pixmap();
        QVERIFY(!picture.isNull());
        // As wide as the visible area; the vertical bar is always there, so it never covers
        // the picture.
        QCOMPARE(picture.width(), scroll->viewport()->width());
        QCOMPARE(scroll->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

        QTest::mouseDClick(pane, Qt::LeftButton);
        auto* viewer = f.window->findChild<PreviewViewer*>(QStringLiteral("PreviewViewer"));
        QVERIFY(viewer);
        QVERIFY(viewer->isVisible());
        QCOMPARE(f.fake.renderer.rendered.last(), Path(QStringLiteral("/g/f3.xls")));
        auto* page = viewer->findChild<QLabel*>(QStringLiteral("PreviewViewerPage"));
        QVERIFY(page && !page->pixmap().isNull());
        QVERIFY(page->pixmap().width() > picture.width());
        // Every page, one under the other.
        QCOMPARE(viewer->page_count(), f.fake.renderer.pages);
        // The pane's labels and selection are untouched by the viewer.
        QCOMPARE(f.window->preview().source_document(), Path(QStringLiteral("/g/f3.xls")));
        viewer->close();
        QTRY_VERIFY(!f.window->findChild<PreviewViewer*>());
        // The keyboard opens it too.
        QTest::keyClick(scroll, Qt::Key_F3);
        QVERIFY(f.window->findChild<PreviewViewer*>());
        f.window->findChild<PreviewViewer*>()->close();
    }

    // Keys and the wheel on the pane: pages turn within the document, the counter follows,
    // and zoom widens the cropped picture against the pane.
    void pane_turns_pages_and_zooms_data()
    {
        QTest::addColumn<QString>("keys"); // d PageDown, u PageUp, + - 0, w Ctrl+wheel up
        QTest::addColumn<QString>("counter");
        QTest::addColumn<int>("page");
        QTest::addColumn<double>("zoom");
        QTest::newRow("linked") << ""
                                << "1 / ?" << 0 << 1.0;
        QTest::newRow("page down") << "d"
                                   << "2 / 3" << 1 << 1.0;
        QTest::newRow("page up on page 1") << "u"
                                           << "1 / ?" << 0 << 1.0;
        QTest::newRow("past the last page") << "dddd"
                                            << "3 / 3" << 2 << 1.0;
        QTest::newRow("and back") << "dddduuu"
                                  << "1 / 3" << 0 << 1.0;
        QTest::newRow("zoom in") << "+"
                                 << "1 / ?" << 0 << 1.25;
        QTest::newRow("in, in, out") << "++-"
                                     << "1 / ?" << 0 << 1.25;
        QTest::newRow("zoom out") << "-"
                                  << "1 / ?" << 0 << 0.8;
        QTest::newRow("back to the width") << "++0"
                                           << "1 / ?" << 0 << 1.0;
        QTest::newRow("zoomed page turns") << "+d"
                                           << "2 / 3" << 1 << 1.25;
        QTest::newRow("Ctrl+wheel") << "w"
                                    << "1 / ?" << 0 << 1.25;
    }

    void pane_turns_pages_and_zooms()
    {
        QFETCH(QString, keys);
        QFETCH(QString, counter);
        QFETCH(int, page);
        QFETCH(double, zoom);
        MainWindowFixture f(eight_files);
        QVERIFY(f.load());
        f.window->resize(1000, 700);
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        f.child<QCheckBox>("chk")->click();
        f.window->selection().grd1_Click(2);
        auto* pane = f.child<QLabel>("OLE1");
        auto* scroll = f.child<QScrollArea>("OLE1_scroll");
        const int fitted = pane->pixmap().width();
        for (const QChar key : keys) {
            if (key == QLatin1Char('w')) {
                QWheelEvent wheel(QPointF(10, 10), pane->mapToGlobal(QPointF(10, 10)), {},
                                  QPoint(0, 120), Qt::NoButton, Qt::ControlModifier,
                                  Qt::NoScrollPhase, false);
                QApplication::sendEvent(pane, &wheel);
                continue;
            }
            const Qt::Key code = key == QLatin1Char('d')   ? Qt::Key_PageDown
                                 : key == QLatin1Char('u') ? Qt::Key_PageUp
                                 : key == QLatin1Char('+') ? Qt::Key_Plus
                                 : key == QLatin1Char('-') ? Qt::Key_Minus
                                                           : Qt::Key_0;
            QTest::keyClick(scroll, code);
        }
        QCOMPARE(f.child<QLabel>("OLE1_page")->text(), counter);
        QCOMPARE(f.window->preview().page(), page);
        QCOMPARE(pane->pixmap().width(), qRound(fitted * zoom));
        // The picture is the page asked for, cropped, of the selected file.
        const PageRequest& last = f.fake.renderer.requests.last();
        QCOMPARE(last.path, Path(QStringLiteral("/g/f2.xls")));
        QCOMPARE(last.page, page);
        QVERIFY(last.crop);
        QCOMPARE(pane->pixmap().toImage().pixel(1, 1), QColor::fromHsv(0, 0, 40 + 20 * page).rgb());
    }

    void ticking_without_a_selection_or_in_multiple_mode_only_ticks()
    {
        MainWindowFixture f(eight_files);
        QVERIFY(f.load());
        f.child<QCheckBox>("chk")->click();
        QVERIFY(f.child<QCheckBox>("chk")->isChecked());
        QVERIFY(f.fake.renderer.rendered.isEmpty());
        f.child<QCheckBox>("chk")->click();
        f.child<QRadioButton>("opt_f_1")->click();
        f.window->selection().grd1_Click(2);
        f.child<QCheckBox>("chk")->click();
        QVERIFY(f.fake.renderer.rendered.isEmpty());
        QVERIFY(f.fake.messages.shown.isEmpty());
    }

    void a_failed_preview_from_the_check_box_says_so()
    {
        MainWindowFixture f(eight_files);
        QVERIFY(f.load());
        f.window->selection().grd1_Click(3);
        f.fake.renderer.failFor = paths({"/g/f3.xls"});
        f.child<QCheckBox>("chk")->click();
        QCOMPARE(f.fake.messages.shown.size(), 1);
        QCOMPARE(f.fake.messages.shown[0].text,
                 QStringLiteral("ファイルのプレビューまたはクリアに失敗しました"));
        QCOMPARE(f.fake.messages.shown[0].icon, MsgIcon::Critical);
        QVERIFY(f.child<QWidget>("Wait_Frm")->isHidden());
    }

    void a_mode_click_resets_the_pane_but_keeps_the_labels()
    {
        MainWindowFixture f(eight_files);
        QVERIFY(f.load());
        f.child<QCheckBox>("chk")->click();
        f.window->selection().grd1_Click(2);
        QVERIFY(!f.window->preview().source_document().is_empty());
        f.child<QRadioButton>("opt_f_1")->click();
        QVERIFY(f.window->preview().source_document().is_empty());
        QCOMPARE(f.child<QLabel>("lbl_filename")->text(), QStringLiteral("f2.xls"));
    }

    void a_newer_link_wins_over_one_still_rendering()
    {
        MainWindowFixture f(eight_files);
        QVERIFY(f.load());
        f.child<QCheckBox>("chk")->click();
        bool nested = false;
        f.fake.renderer.during = [&](const Path& path) {
            if (path == Path(QStringLiteral("/g/f1.xls")) && !nested) {
                nested = true; // another click arrives while the first file renders
                f.window->selection().grd1_Click(2);
            }
        };
        f.window->selection().grd1_Click(1);
        QCOMPARE(f.window->preview().source_document(), Path(QStringLiteral("/g/f2.xls")));
        QCOMPARE(f.session.sel_file, Path(QStringLiteral("f2.xls")));
    }
};

QTEST_MAIN(TestGridSelection)
#include "tst_grid_selection.moc"
