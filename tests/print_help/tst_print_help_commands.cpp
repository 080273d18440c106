// SPDX-License-Identifier: GPL-3.0-or-later
// The print, help and About commands of the main window.
#include "main_window_fixture.h"
#include "ports/help_viewer.h"
#include "ports/printer.h"
#include "print_help/about_frm.h"
#include "session/history_log.h"
#include "session/session.h"

#include <QAction>
#include <QApplication>
#include <QRadioButton>

using namespace pelmora;
using namespace pelmora::test;

namespace {

// Hands out printers that log into one list, the way the real factory makes one per job.
class LoggingPrinterFactory final : public PrinterFactory
{
public:
    class LoggingPrinter final : public Printer
    {
    public:
        LoggingPrinter(LoggingPrinterFactory& f) : m_f(f) {}
        PrintStatus set_font_name(const QString& n) override
        {
            return log(QStringLiteral("font ") + n);
        }
        PrintStatus set_font_size(double p) override
        {
            return log(QStringLiteral("size ") + QString::number(p));
        }
        PrintStatus set_paper_size(PaperSize) override { return log(QStringLiteral("paper")); }
        PrintStatus set_orientation(PageOrientation) override
        {
            return log(QStringLiteral("orientation"));
        }
        PrintStatus print_line(const QString& t) override
        {
            return log(QStringLiteral("line ") + t);
        }
        PrintStatus end_document() override { return log(QStringLiteral("end")); }
        void abort_document() override { m_f.calls.append(QStringLiteral("abort")); }

    private:
        PrintStatus log(const QString& c)
        {
            m_f.calls.append(c);
            return c == m_f.failOn ? m_f.failure : PrintStatus::Ok;
        }
        LoggingPrinterFactory& m_f;
    };

    std::unique_ptr<Printer> create() override { return std::make_unique<LoggingPrinter>(*this); }
    QStringList calls;
    QString failOn;
    PrintStatus failure = PrintStatus::Refused;
};

class CountingHelp final : public HelpViewer
{
public:
    void show_topics() override { ++shown; }
    int shown = 0;
};

QStringList printed_lines(const QStringList& calls)
{
    QStringList lines;
    for (const QString& c : calls) {
        if (c.startsWith(QLatin1String("line ")))
            lines.append(c.mid(5));
    }
    return lines;
}

} // namespace

class TestPrintHelpCommands : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void the_listed_files_are_printed_and_logged()
    {
        MainWindowFixture f;
        LoggingPrinterFactory printers;
        f.platform.printers = &printers;
        QVERIFY(f.load());
        f.child<QAction>("p_print")->trigger();
        QCOMPARE(printers.calls.mid(0, 4),
                 (QStringList{"font ＭＳ ゴシック", "size 8", "paper", "orientation"}));
        const QStringList lines = printed_lines(printers.calls);
        QCOMPARE(lines.size(), 8);
        QCOMPARE(lines[0], QStringLiteral("ドライブ /a/  [ホーム]"));
        QCOMPARE(lines[1], QStringLiteral("     ファイル名(保存場所を含みます)"));
        QCOMPARE(lines.mid(3, 3),
                 (QStringList{"     /a/b.xls", "     /a/z.xls", "     /a/s/c.xls"}));
        QVERIFY(!lines[2].trimmed().isEmpty());
        QCOMPARE(lines[6], lines[2]); // the same rule above and below the entries
        QCOMPARE(lines[7], QStringLiteral("     "));
        QCOMPARE(printers.calls.last(), QStringLiteral("end"));
        QCOMPARE(f.window->history().size(), 1);
        QCOMPARE(f.window->history().entry(0).text,
                 QStringLiteral("/a/  [ホーム]中の XLS検索一覧を 印刷出力しました"));
        QCOMPARE(f.window->history().entry(0).color, wincolor::None);
        QVERIFY(!QApplication::overrideCursor());
    }

    void multiple_mode_prints_the_marked_files_only()
    {
        MainWindowFixture f;
        LoggingPrinterFactory printers;
        f.platform.printers = &printers;
        QVERIFY(f.load());
        f.child<QRadioButton>("opt_f_1")->click();
        f.session.sel_marks = paths({"/a/s/c.xls", "/a/z.xls"});
        f.child<QAction>("p_print")->trigger();
        const QStringList lines = printed_lines(printers.calls);
        QCOMPARE(lines[0],
                 QStringLiteral("ドライブ /a/  [ホーム](画面上で選択されたファイルのみ出力)"));
        QCOMPARE(lines.mid(3, 2), (QStringList{"     /a/s/c.xls", "     /a/z.xls"}));
    }

    void an_empty_list_says_there_is_no_data()
    {
        MainWindowFixture f([](FakePlatform& p) {
            p.roots.list.prepend(Root{Path(QStringLiteral("/none/")), QString()});
            p.tree.add_folder("/none/", {});
        });
        LoggingPrinterFactory printers;
        f.platform.printers = &printers;
        QVERIFY(f.load());
        f.child<QAction>("p_print")->trigger();
        QVERIFY(printers.calls.isEmpty());
        QCOMPARE(f.fake.messages.shown.size(), 1);
        QCOMPARE(f.fake.messages.shown[0].text, QStringLiteral("印刷データがありません"));
        QCOMPARE(f.fake.messages.shown[0].icon, MsgIcon::Critical);
        QCOMPARE(f.window->history().size(), 0);
    }

    void a_missing_or_refusing_printer_is_reported_without_a_history_row()
    {
        MainWindowFixture f;
        QVERIFY(f.load());
        f.child<QAction>("p_print")->trigger(); // no printer at all
        QCOMPARE(f.fake.messages.shown.size(), 1);
        QVERIFY(f.fake.messages.shown[0].text.contains(QStringLiteral("プリンタ")));
        QCOMPARE(f.fake.messages.shown[0].icon, MsgIcon::Exclamation);

        LoggingPrinterFactory printers;
        printers.failOn = QStringLiteral("end");
        f.platform.printers = &printers;
        f.child<QAction>("p_print")->trigger();
        QCOMPARE(printers.calls.last(), QStringLiteral("abort"));
        QCOMPARE(f.fake.messages.shown.size(), 2);
        QVERIFY(f.fake.messages.shown[1].text.contains(QStringLiteral("プリンタ")));
        QCOMPARE(f.window->history().size(), 0);
        QVERIFY(!QApplication::overrideCursor());
    }

    void help_and_about_open_from_the_menu()
    {
        MainWindowFixture f;
        CountingHelp help;
        f.platform.help = &help;
        f.child<QAction>("p_use")->trigger();
        QCOMPARE(help.shown, 1);
        f.platform.help = nullptr;
        f.child<QAction>("p_use")->trigger(); // no help: nothing, no message
        QVERIFY(f.fake.messages.shown.isEmpty());

        f.child<QAction>("p_ver")->trigger();
        f.child<QAction>("p_ver")->trigger();
        int abouts = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            abouts += qobject_cast<About_Frm*>(w) != nullptr && w->isVisible();
        QCOMPARE(abouts, 1);
        QVERIFY(!QApplication::activeModalWidget()); // the main window stays usable
    }
};

QTEST_MAIN(TestPrintHelpCommands)
#include "tst_print_help_commands.moc"
