// SPDX-License-Identifier: GPL-3.0-or-later
// Refresh, the Excel/Word switch and opening the selected file.
#include "catalogue/result_table_model.h"
#include "main_window_fixture.h"
#include "selection/grid_selection.h"
#include "selection/preview_pane.h"
#include "session/history_log.h"
#include "session/session.h"
#include "window/grid_setup.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>

using namespace pelmora;
using namespace pelmora::test;

namespace {

int folder_column_px(MainWindowFixture& f)
{
    return f.child<QTableView>("grd1")->columnWidth(ResultTableModel::FolderColumn);
}

QStringList rows(MainWindowFixture& f)
{
    QStringList out;
    const ResultTableModel& g = f.window->results();
    for (qsizetype i = 0; i < g.size(); ++i)
        out.append(g.text(i, 1) + g.text(i, 0));
    return out;
}

// Clicks a type button and waits for the listing it starts, if any.
bool click_type(MainWindowFixture& f, const char* button)
{
    QSignalSpy done(&f.window->catalogue(), &Catalogue::listing_finished);
    f.child<QRadioButton>(button)->click();
    return done.count() > 0 || done.wait(3000);
}

} // namespace

class TestRefreshTypeOpen : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void refresh_rescans_logs_and_narrows_the_folder_column()
    {
        MainWindowFixture f;
        QVERIFY(f.load());
        const int wide = folder_column_px(f);
        f.window->selection().grd1_Click(1);
        QVERIFY(!f.child<QLabel>("lbl_filename")->text().isEmpty());
        f.fake.tree.add_folder("/a/", {file("new.xls"), file("b.xls")});
        QVERIFY(f.refresh());
        QCOMPARE(rows(f), (QStringList{"/a/b.xls", "/a/new.xls"}));
        QCOMPARE(f.child<QLabel>("Label_Count")->text(), QStringLiteral("2"));
        QVERIFY(f.child<QLabel>("lbl_filename")->text().isEmpty());
        QVERIFY(folder_column_px(f) < wide);
        // Narrower by the difference of the two widths, whatever room the window adds.
        auto* grid = f.child<QTableView>("grd1");
        QCOMPARE(wide - folder_column_px(f),
                 twips_to_pixels(grid, 3500) - twips_to_pixels(grid, 2500));
        QVERIFY(folder_column_px(f) >= twips_to_pixels(grid, 2500));
        QCOMPARE(f.window->history().size(), 1);
        QCOMPARE(f.window->history().entry(0).text,
                 QStringLiteral("最新の情報に更新 ボタンを押下しました"));
        QCOMPARE(f.window->history().entry(0).color, WinColor(0xFF8080));
        QCOMPARE(f.session.sel_file, Path(QStringLiteral("b.xls"))); // selection survives
        QVERIFY(f.choose_root(1));
        QCOMPARE(folder_column_px(f), wide);
    }

    void after_refresh_a_switch_back_shows_exactly_the_new_hits()
    {
        MainWindowFixture f;
        QVERIFY(f.load());
        f.fake.tree.add_folder("/a/", {file("n1.xls"), file("memo.doc"), file("n2.XLS")});
        f.fake.tree.add_folder("/a/s/", {});
        QVERIFY(f.refresh());
        f.fake.messages.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
        QVERIFY(click_type(f, "opt_1"));
        QCOMPARE(rows(f), QStringList{"/a/memo.doc"});
        QVERIFY(click_type(f, "opt_0"));
        QCOMPARE(rows(f), (QStringList{"/a/n1.xls", "/a/n2.XLS"}));
        QCOMPARE(f.child<QLabel>("Label_Count")->text(), QStringLiteral("2"));
    }

    void switching_type_asks_and_lists_from_the_cache_on_return()
    {
        MainWindowFixture f;
        QVERIFY(f.load());
        f.fake.messages.answers = {MsgAnswer::Yes};
        QVERIFY(click_type(f, "opt_1"));
        QCOMPARE(f.fake.messages.shown.size(), 1);
        QCOMPARE(f.fake.messages.shown[0].text,
                 QStringLiteral("Word に表示を切替ます\r\nよろしいですか"));
        QCOMPARE(f.fake.messages.shown[0].icon, MsgIcon::Question);
        QCOMPARE(f.fake.messages.shown[0].buttons, MsgButtons::YesNo);
        QCOMPARE(f.session.doc_type.letter(), QStringLiteral("D"));
        QCOMPARE(f.child<QLineEdit>("Text_Sufix")->text(), QStringLiteral("DOC"));
        QCOMPARE(rows(f), QStringList{"/a/m.doc"});
        f.fake.messages.answers = {MsgAnswer::Yes};
        QVERIFY(click_type(f, "opt_0"));
        QCOMPARE(f.fake.messages.shown[1].text,
                 QStringLiteral("Excel に表示を切替ます\r\nよろしいですか"));
        QCOMPARE(f.fake.folders.roots_opened.load(), 2); // once per type
        QCOMPARE(rows(f).size(), 3);
        QCOMPARE(f.window->history().size(), 0); // the switch writes no row
    }

    void answering_no_puts_the_button_back_without_a_second_question()
    {
        MainWindowFixture f;
        QVERIFY(f.load());
        const QStringList before = rows(f);
        f.fake.messages.answers = {MsgAnswer::No};
        QVERIFY(!click_type(f, "opt_1"));
        QCOMPARE(f.fake.messages.shown.size(), 1);
        QVERIFY(f.child<QRadioButton>("opt_0")->isChecked());
        QCOMPARE(f.session.doc_type.letter(), QStringLiteral("X"));
        QCOMPARE(f.child<QLineEdit>("Text_Sufix")->text(), QStringLiteral("XLS"));
        QCOMPARE(rows(f), before);
        QCOMPARE(f.fake.folders.roots_opened.load(), 1);
        // The swallowed click left nothing behind: the next switch asks again.
        f.fake.messages.answers = {MsgAnswer::Yes};
        QVERIFY(click_type(f, "opt_1"));
        QCOMPARE(f.fake.messages.shown.size(), 2);
        QCOMPARE(f.session.doc_type.letter(), QStringLiteral("D"));
    }

    void the_switch_resets_the_preview_only_when_a_file_was_selected()
    {
        MainWindowFixture f;
        QVERIFY(f.load());
        f.child<QCheckBox>("chk")->click();
        f.window->selection().grd1_Click(2);
        QVERIFY(!f.window->preview().source_document().is_empty());
        f.fake.messages.answers = {MsgAnswer::Yes};
        QVERIFY(click_type(f, "opt_1"));
        QVERIFY(f.window->preview().source_document().is_empty());
        QVERIFY(f.child<QLabel>("lbl_filename")->text().isEmpty());
    }

    void open_logs_the_launch_and_a_failure_gives_two_rows()
    {
        MainWindowFixture f;
        QVERIFY(f.load());
        f.child<QPushButton>("cmd_open")->click(); // nothing clicked yet
        QCOMPARE(f.fake.opener.opened, PathList{Path()});
        QCOMPARE(f.window->history().entry(0).text, QStringLiteral("を 起動しました"));

        f.window->selection().grd1_Click(1);
        f.fake.opener.opened.clear();
        f.child<QPushButton>("cmd_open")->click();
        QCOMPARE(f.fake.opener.opened, paths({"/a/b.xls"}));
        QCOMPARE(f.window->history().size(), 2);
        QCOMPARE(f.window->history().entry(1).text, QStringLiteral("/a/b.xlsを 起動しました"));
        QCOMPARE(f.window->history().entry(1).color, WinColor(0xC0FFFF));
        QVERIFY(f.fake.messages.shown.isEmpty());

        f.fake.opener.accept = false;
        f.child<QPushButton>("cmd_open")->click();
        QCOMPARE(f.window->history().size(), 4);
        QCOMPARE(f.window->history().entry(2).text, QStringLiteral("/a/b.xlsを 起動しました"));
        QCOMPARE(f.window->history().entry(3).text, QStringLiteral("上記の作業に失敗しました"));
        QCOMPARE(f.window->history().entry(3).color, WinColor(0xC0C0FF));
        QCOMPARE(f.fake.messages.shown.size(), 1);
        QCOMPARE(f.fake.messages.shown[0].text, QStringLiteral("ファイルのオープンに失敗しました"));
        QCOMPARE(f.fake.messages.shown[0].icon, MsgIcon::Information);
    }

    // A name copied from an old Windows machine reaches the preview and the opener as the
    // bytes the scan found.
    void preview_and_open_get_the_bytes_the_scan_found()
    {
        const std::string sjis = "\x8e\x91\x97\xbf.xls"; // 資料.xls in Shift_JIS
        MainWindowFixture f([&](FakePlatform& p) { p.tree.add_folder("/a/", {file(sjis)}); });
        QVERIFY(f.load());
        f.child<QCheckBox>("chk")->click();
        f.window->selection().grd1_Click(1);
        const QByteArray want = QByteArray("/a/") + QByteArray::fromStdString(sjis);
        QVERIFY(!f.fake.renderer.requests.isEmpty());
        QCOMPARE(f.fake.renderer.requests.last().path.bytes(), want);
        f.child<QPushButton>("cmd_open")->click();
        QCOMPARE(f.fake.opener.opened.size(), 1);
        QCOMPARE(f.fake.opener.opened.front().bytes(), want);
    }

    void open_in_multiple_mode_opens_the_last_clicked_file_only()
    {
        MainWindowFixture f;
        QVERIFY(f.load());
        f.child<QRadioButton>("opt_f_1")->click();
        for (int row : {1, 2, 3})
            f.window->selection().grd1_Click(row);
        f.child<QPushButton>("cmd_open")->click();
        QCOMPARE(f.fake.opener.opened, paths({"/a/s/c.xls"}));
    }
};

QTEST_MAIN(TestRefreshTypeOpen)
#include "tst_refresh_type_open.moc"
