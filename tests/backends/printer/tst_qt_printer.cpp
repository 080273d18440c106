// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt printer backend on a PDF file: the face chosen for the list, A4 portrait pages,
// lines in order with new pages when a page is full, and the failure results.
#include "backends/printer/qt_printer.h"
#include "pdf_text.h"
#include "print_help/print_list.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace pelmora;
using namespace pelmora::test;

namespace {

PrintStatus apply_list_settings(Printer& printer)
{
    for (PrintStatus s :
         {printer.set_font_name(QString::fromUtf8(kPrintFontName)),
          printer.set_font_size(kPrintFontPoints), printer.set_paper_size(PaperSize::A4),
          printer.set_orientation(PageOrientation::Portrait)}) {
        if (s != PrintStatus::Ok)
            return s;
    }
    return PrintStatus::Ok;
}

// Leading blanks of a pdftotext -layout line.
qsizetype indent_of(const QString& line)
{
    qsizetype n = 0;
    while (n < line.size() && line.at(n) == QLatin1Char(' '))
        ++n;
    return n;
}

} // namespace

class QtPrinterTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(),
                 "pdftotext (poppler-utils) is needed to read the printed PDF back");
    }

    // Font choice
    void list_face_is_installed_and_keeps_columns_on_a_grid()
    {
        const QString family = QtPrinter::choose_font_family(QString::fromUtf8(kPrintFontName));
        QVERIFY(QFontDatabase::families().contains(family, Qt::CaseInsensitive));
        QFont font(family);
        font.setPixelSize(40);
        QCOMPARE(QFontInfo(font).family().toCaseFolded(), family.toCaseFolded());
        const QFontMetricsF metrics(font);
        const qreal half = metrics.horizontalAdvance(QLatin1Char('W'));
        for (QChar c : QStringLiteral(" i=/.1M"))
            QCOMPARE(metrics.horizontalAdvance(c), half);
        for (QChar c : QStringLiteral("ア漢ゴ（"))
            QCOMPARE(metrics.horizontalAdvance(c), 2 * half);
    }

    void installed_family_is_taken_as_asked()
    {
        const QString family = QFontDatabase::families().front();
        QCOMPARE(QtPrinter::choose_font_family(family), family);
    }

    // Pages
    void long_document_continues_on_new_pages_in_order()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("long.pdf"));
        QtPrinter printer(PdfFileTarget{pdf});
        QCOMPARE(apply_list_settings(printer), PrintStatus::Ok);
        QStringList printed;
        for (int i = 0; i < 300; ++i)
            printed
                << QStringLiteral("     行%1 /data/ファイル%1.XLS").arg(i, 3, 10, QLatin1Char('0'));
        for (const QString& line : printed)
            QCOMPARE(printer.print_line(line), PrintStatus::Ok);
        QCOMPARE(printer.end_document(), PrintStatus::Ok);
        QVERIFY(printer.page_count() > 1);

        bool ok = false;
        const QStringList pages = pdf_pages(pdf, &ok);
        QVERIFY(ok);
        QCOMPARE(pages.size(), printer.page_count());
        QStringList read;
        const qsizetype per_page = page_lines(pages.front()).size();
        for (int p = 0; p < pages.size(); ++p) {
            const QStringList lines = page_lines(pages.at(p));
            if (p + 1 < pages.size())
                QCOMPARE(lines.size(), per_page); // every full page holds as many lines
            for (const QString& line : lines)
                read << line.trimmed();
        }
        QStringList expected;
        for (const QString& line : printed)
            expected << line.trimmed();
        QCOMPARE(read, expected);
        QCOMPARE(printer.page_count(), int((300 + per_page - 1) / per_page));

        const QString info = run_poppler(QStringLiteral("pdfinfo"), {pdf});
        QVERIFY2(info.contains(QRegularExpression(QStringLiteral(
                     "Page size:\\s+595(\\.\\d+)? x 84[12](\\.\\d+)? pts \\(A4\\)"))),
                 qPrintable(info));
    }

    void printed_list_reads_back_line_for_line_in_the_chosen_face()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("list.pdf"));
        QtPrinter printer(PdfFileTarget{pdf});
        PrintInput input;
        input.drive = QStringLiteral("/home/佐藤/");
        input.rows = {{QStringLiteral("見積書.XLS"), QStringLiteral("/home/佐藤/書類/")},
                      {QStringLiteral("B.XLS"), QStringLiteral("/home/佐藤/書類/SUB/")}};
        QCOMPARE(print_result_list(printer, input), PrintOutcome::Printed);

        bool ok = false;
        const QStringList pages = pdf_pages(pdf, &ok);
        QVERIFY(ok);
        QCOMPARE(pages.size(), 1);
        const QStringList lines = page_lines(pages.front());
        const QStringList expected = visible_lines(print_lines(input));
        QCOMPARE(lines.size(), expected.size());
        for (int i = 0; i < lines.size(); ++i)
            QCOMPARE(lines.at(i).trimmed(), expected.at(i).trimmed());
        // The heading starts at the margin; everything below is indented alike.
        const qsizetype heading = indent_of(lines.front());
        for (int i = 1; i < lines.size(); ++i)
            QCOMPARE(indent_of(lines.at(i)), indent_of(lines.at(1)));
        QVERIFY(indent_of(lines.at(1)) > heading);

        const QString fonts = run_poppler(QStringLiteral("pdffonts"), {pdf});
        QString face = printer.font_family();
        face.remove(QLatin1Char(' '));
        QVERIFY2(fonts.contains(face, Qt::CaseInsensitive), qPrintable(fonts));
    }

    void long_paths_wrap_onto_indented_lines_and_read_back_whole()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("wrapped.pdf"));
        QtPrinter printer(PdfFileTarget{pdf});
        PrintInput input;
        input.drive = QStringLiteral("/srv/共有");
        QStringList paths;
        for (int i = 0; i < 6; ++i) {
            // 60 to 400 half-width columns: well past the ~130 that fit on A4 at 8 points.
            QString folder = QStringLiteral("/srv/共有/");
            while (folder.size() < 30 + i * 60)
                folder += QStringLiteral("営業部_第%1四半期_資料/").arg(i);
            const QString name = QStringLiteral("見積書_%1_最終版.XLS").arg(i);
            input.rows.append({name, folder});
            paths << folder + name;
        }
        input.rows.append({QStringLiteral("A.XLS"), QStringLiteral("/srv/")});
        paths << QStringLiteral("/srv/A.XLS");
        QCOMPARE(print_result_list(printer, input), PrintOutcome::Printed);

        bool ok = false;
        const QStringList pages = pdf_pages(pdf, &ok);
        QVERIFY(ok);
        const QStringList lines = page_lines(pages.join(QLatin1Char('\n')));
        // Entry lines start at one indent, continuation lines further in; joining each entry
        // with its continuations gives the full path back.
        const qsizetype entry_indent = indent_of(lines.at(1));
        QStringList entries;
        bool continued = false;
        for (int i = 3; i < lines.size(); ++i) {
            const QString& line = lines.at(i);
            if (line.trimmed().startsWith(QLatin1Char('=')))
                break;
            if (indent_of(line) > entry_indent && !entries.isEmpty()) {
                entries.back() += line.trimmed();
                continued = true;
            } else {
                entries << line.trimmed();
            }
        }
        QVERIFY2(continued, "no line was long enough to wrap");
        QCOMPARE(entries, paths);
        // Nothing runs past the page: every printed line is shorter than the longest path.
        for (const QString& line : lines)
            QVERIFY2(line.trimmed().size() < 200, qPrintable(line));
    }

    // Failures
    void settings_after_the_first_line_are_refused()
    {
        QTemporaryDir dir;
        QtPrinter printer(PdfFileTarget{dir.filePath(QStringLiteral("late.pdf"))});
        QCOMPARE(apply_list_settings(printer), PrintStatus::Ok);
        QCOMPARE(printer.print_line(QStringLiteral("first")), PrintStatus::Ok);
        QCOMPARE(printer.set_paper_size(PaperSize::A4), PrintStatus::Refused);
        QCOMPARE(printer.print_line(QStringLiteral("second")), PrintStatus::Refused);
    }

    void ended_document_takes_no_more_lines()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("ended.pdf"));
        QtPrinter printer(PdfFileTarget{pdf});
        QCOMPARE(apply_list_settings(printer), PrintStatus::Ok);
        QCOMPARE(printer.print_line(QStringLiteral("only")), PrintStatus::Ok);
        QCOMPARE(printer.end_document(), PrintStatus::Ok);
        QCOMPARE(printer.print_line(QStringLiteral("late")), PrintStatus::Refused);
        bool ok = false;
        const QStringList pages = pdf_pages(pdf, &ok);
        QVERIFY(ok);
        QCOMPARE(pages.size(), 1);
        QCOMPARE(page_lines(pages.front()), QStringList{QStringLiteral("only")});
    }

    void aborted_document_leaves_no_file()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("aborted.pdf"));
        QtPrinter printer(PdfFileTarget{pdf});
        QCOMPARE(apply_list_settings(printer), PrintStatus::Ok);
        QCOMPARE(printer.print_line(QStringLiteral("first")), PrintStatus::Ok);
        printer.abort_document();
        QVERIFY(!QFileInfo::exists(pdf));
        QCOMPARE(printer.end_document(), PrintStatus::Refused);
    }

    // CUPS_SERVER points at a socket that does not exist (set by the test's environment).
    void without_a_printer_the_list_reports_no_printer()
    {
        QVERIFY(qEnvironmentVariable("CUPS_SERVER").startsWith(QLatin1String("/nonexistent")));
        QtPrinter printer;
        PrintInput input;
        input.drive = QStringLiteral("/");
        input.rows = {{QStringLiteral("A.XLS"), QStringLiteral("/")}};
        QCOMPARE(print_result_list(printer, input), PrintOutcome::NoPrinter);
        QCOMPARE(printer.page_count(), 0);
    }
};

QTEST_MAIN(QtPrinterTest)
#include "tst_qt_printer.moc"
