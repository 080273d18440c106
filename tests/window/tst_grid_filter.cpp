// SPDX-License-Identifier: GPL-3.0-or-later
// The filter box above the grid: which rows a typed text leaves, the count it shows, and that
// clicks and commands still reach the file the user clicked.
#include "catalogue/result_table_model.h"
#include "main_window_fixture.h"
#include "session/win_color.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTableView>

using namespace pelmora;
using namespace pelmora::test;

namespace {

std::function<void(FakePlatform&)> named_files()
{
    return [](FakePlatform& p) {
        p.tree.add_folder("/a/", {file("Report_2024.xls"), file("ＲＥＰＯＲＴ＿２０２５.xls"),
                                  file("けいやく書.xls"), file("ｹｲﾔｸ一覧.xls"),
                                  file("ケイヤク.xls"), file("ｶﾞｲﾄﾞ.xls"), dir("営業")});
        p.tree.add_folder("/a/営業/", {file("見積.xls"), file("ガイド.xls")});
    };
}

QStringList shown_names(MainWindowFixture& f)
{
    QStringList names;
    for (qsizetype r = 0; r < f.window->results().size(); ++r)
        names << f.window->results().text(r, ResultTableModel::NameColumn);
    names.sort();
    return names;
}

// Types text into the filter box and waits until the grid shows want.
bool filter_shows(MainWindowFixture& f, const QString& text, QStringList want)
{
    f.child<QLineEdit>("txt_filter")->setText(text);
    want.sort();
    QElapsedTimer t;
    t.start();
    while (shown_names(f) != want && t.elapsed() < 5000)
        QTest::qWait(5);
    return shown_names(f) == want;
}

void click(MainWindowFixture& f, int row)
{
    auto* grid = f.child<QTableView>("grd1");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(row, 0)).center());
}

qsizetype row_named(MainWindowFixture& f, const QString& name)
{
    for (qsizetype r = 0; r < f.window->results().size(); ++r) {
        if (f.window->results().text(r, ResultTableModel::NameColumn) == name)
            return r;
    }
    return -1;
}

QStringList selected_names(MainWindowFixture& f)
{
    QStringList names;
    for (qsizetype r = 0; r < f.window->results().size(); ++r) {
        if (f.window->results().cell_background(r, ResultTableModel::NameColumn) ==
            wincolor::Selected)
            names << f.window->results().text(r, ResultTableModel::NameColumn);
    }
    return names;
}

} // namespace

class TestGridFilter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void typed_words_leave_the_rows_that_hold_them_all()
    {
        MainWindowFixture f(named_files());
        QVERIFY(f.load());
        const qsizetype all = f.window->results().size();
        QCOMPARE(all, 8);
        const QStringList everything = shown_names(f);
        struct Case
        {
            const char* typed;
            QStringList shown;
        };
        const Case cases[] = {
            // Case and width do not matter, in either direction.
            {"report", {"Report_2024.xls", "ＲＥＰＯＲＴ＿２０２５.xls"}},
            {"ＲＥＰＯＲＴ", {"Report_2024.xls", "ＲＥＰＯＲＴ＿２０２５.xls"}},
            {"２０２４", {"Report_2024.xls"}},
            // Hiragana and katakana, full-width and half-width, find each other.
            {"けいやく", {"けいやく書.xls", "ｹｲﾔｸ一覧.xls", "ケイヤク.xls"}},
            {"ｹｲﾔｸ", {"けいやく書.xls", "ｹｲﾔｸ一覧.xls", "ケイヤク.xls"}},
            {"がいど", {"ｶﾞｲﾄﾞ.xls", "ガイド.xls"}},
            // Every word must be held, by the name or by the folder; an ideographic space
            // separates words as a plain one does.
            {"ｹｲﾔｸ\u3000書", {"けいやく書.xls"}},
            {"営業", {"見積.xls", "ガイド.xls"}},
            {"営業 ｶﾞｲﾄﾞ", {"ガイド.xls"}},
            {"2024 ケイヤク", {}},
            {"見積 /a/", {"見積.xls"}},
        };
        auto* count = f.child<QLabel>("Label_Count");
        for (const Case& c : cases) {
            const QString typed = QString::fromUtf8(c.typed);
            QVERIFY2(filter_shows(f, typed, c.shown), qPrintable(typed));
            QCOMPARE(count->text(), QStringLiteral("%1 / %2").arg(c.shown.size()).arg(all));
        }
        // Nothing but spaces is no filter: every row, and the plain count.
        QVERIFY(filter_shows(f, QStringLiteral(" \u3000 "), everything));
        QCOMPARE(count->text(), QString::number(all));
    }

    void clicks_and_commands_follow_the_clicked_file()
    {
        MainWindowFixture f(named_files());
        QVERIFY(f.load());
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        auto* box = f.child<QLineEdit>("txt_filter");
        // Ctrl+F reaches the box from anywhere in the window; Esc empties it.
        f.child<QTableView>("grd1")->setFocus();
        QTest::keyClick(f.window.get(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), box);

        // A row clicked before filtering stays the chosen one while rows come and go.
        click(f, int(row_named(f, QStringLiteral("けいやく書.xls"))));
        QVERIFY(filter_shows(f, QStringLiteral("report"),
                             {"Report_2024.xls", "ＲＥＰＯＲＴ＿２０２５.xls"}));
        click(f, int(row_named(f, QStringLiteral("ＲＥＰＯＲＴ＿２０２５.xls"))));
        QCOMPARE(f.session.sel_file, Path(QStringLiteral("ＲＥＰＯＲＴ＿２０２５.xls")));
        f.window->cmd_open_Click();
        QCOMPARE(f.fake.opener.opened, paths({"/a/ＲＥＰＯＲＴ＿２０２５.xls"}));
        // Back in the box as a user comes back to it, Esc empties it.
        QTest::keyClick(f.window.get(), Qt::Key_F, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Escape);
        QVERIFY(box->text().isEmpty());
        QCOMPARE(f.window->results().size(), 8);
        QCOMPARE(selected_names(f), QStringList{"ＲＥＰＯＲＴ＿２０２５.xls"});
        const qsizetype at = row_named(f, QStringLiteral("ＲＥＰＯＲＴ＿２０２５.xls"));
        QCOMPARE(f.session.cur_row, at + 1);

        // Multiple mode marks the clicked files, whatever rows the filter shows.
        f.child<QRadioButton>("opt_f_1")->click();
        QVERIFY(filter_shows(f, QStringLiteral("営業"), {"見積.xls", "ガイド.xls"}));
        click(f, int(row_named(f, QStringLiteral("見積.xls"))));
        QVERIFY(filter_shows(f, QStringLiteral("けいやく"),
                             {"けいやく書.xls", "ｹｲﾔｸ一覧.xls", "ケイヤク.xls"}));
        click(f, int(row_named(f, QStringLiteral("ケイヤク.xls"))));
        QCOMPARE(f.session.sel_marks, (paths({"/a/営業/見積.xls", "/a/ケイヤク.xls"})));

        // A new listing starts without a filter: Refresh, and a root switch.
        QVERIFY(f.refresh());
        QVERIFY(box->text().isEmpty());
        QCOMPARE(f.window->results().size(), 8);
        QVERIFY(filter_shows(f, QStringLiteral("見積"), {"見積.xls"}));
        QVERIFY(f.choose_root(1));
        QVERIFY(box->text().isEmpty());
        QCOMPARE(shown_names(f), QStringList{"only.xls"});
        QCOMPARE(f.child<QLabel>("Label_Count")->text(), QStringLiteral("1"));
    }
};

QTEST_MAIN(TestGridFilter)
#include "tst_grid_filter.moc"
