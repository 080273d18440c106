// SPDX-License-Identifier: GPL-3.0-or-later
// The printed list through a real CUPS scheduler (set up by cups_e2e.sh): on the cups-pdf
// default printer, on a PDF file printer whose output reads back exactly, and on a queue
// that refuses jobs.
#include "backends/printer/qt_printer.h"
#include "pdf_text.h"
#include "print_help/print_list.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace pelmora;
using namespace pelmora::test;

namespace {

QSet<QString> pdfs_in(const QString& dir)
{
    QSet<QString> files;
    for (const QFileInfo& info : QDir(dir).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files))
        files.insert(info.absoluteFilePath());
    return files;
}

bool queue_is_empty(const QString& queue)
{
    QProcess lpstat;
    lpstat.start(QStringLiteral("lpstat"), {QStringLiteral("-o"), queue});
    return lpstat.waitForFinished(10000) && lpstat.exitCode() == 0 &&
           lpstat.readAllStandardOutput().trimmed().isEmpty();
}

int run(const QString& program, const QStringList& args)
{
    return QProcess::execute(program, args);
}

PrintInput long_list()
{
    PrintInput input;
    input.drive = QStringLiteral("/home/佐藤/  [ホーム]");
    input.doc_type = DocType::excel();
    for (int i = 0; i < 120; ++i)
        input.rows.append({QStringLiteral("見積書%1.XLS").arg(i, 3, 10, QLatin1Char('0')),
                           QStringLiteral("/home/佐藤/書類/%1/").arg(i % 7)});
    return input;
}

// The visible lines of every page, with runs of blanks shown as one (pdftotext -layout
// places blanks by position).
QList<QStringList> read_pages(const QString& pdf)
{
    bool ok = false;
    const QStringList pages = pdf_pages(pdf, &ok);
    QList<QStringList> out;
    if (!ok)
        return out;
    for (const QString& page : pages) {
        QStringList lines;
        for (const QString& line : page_lines(page))
            lines << line.simplified();
        out << lines;
    }
    return out;
}

QStringList expected_lines(const PrintInput& input)
{
    QStringList lines;
    for (const QString& line : visible_lines(print_lines(input)))
        lines << line.simplified();
    return lines;
}

bool a4_portrait(const QString& pdf)
{
    const QString info = run_poppler(QStringLiteral("pdfinfo"), {pdf});
    return info.contains(
        QRegularExpression(QStringLiteral("Page size:\\s+595(\\.\\d+)? x 84[12](\\.\\d+)? pts")));
}

} // namespace

class CupsPrintTest final : public QObject
{
    Q_OBJECT

    QString m_queue;
    QString m_out;
    QString m_file_queue;
    QString m_file_out;

private Q_SLOTS:
    void initTestCase()
    {
        m_queue = qEnvironmentVariable("PELMORA_CUPS_QUEUE");
        m_out = qEnvironmentVariable("PELMORA_CUPS_PDF_OUT");
        m_file_queue = qEnvironmentVariable("PELMORA_CUPS_FILE_QUEUE");
        m_file_out = qEnvironmentVariable("PELMORA_CUPS_FILE_OUT");
        QVERIFY2(!m_queue.isEmpty() && !m_out.isEmpty() && !m_file_queue.isEmpty(),
                 "run through cups_e2e.sh, which starts CUPS and sets up the PDF printers");
    }

    void cleanup()
    {
        run(QStringLiteral("cupsaccept"), {m_queue});
        run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), m_queue});
    }

    void cups_pdf_queue_is_the_default_printer()
    {
        QCOMPARE(QPrinterInfo::defaultPrinter().printerName(), m_queue);
    }

    // cups-pdf prints through PostScript; Ghostscript re-encodes the embedded Japanese face
    // on the way, so the text of its PDF does not read back as printed (glyphs come back as
    // Dingbats). What it keeps is checked here: pages, paper, lines and the rules.
    void list_printed_on_cups_pdf_keeps_pages_lines_and_rules()
    {
        const QSet<QString> before = pdfs_in(m_out);
        const PrintInput input = long_list();
        QtPrinter printer;
        printer.set_job_title(
            QStringLiteral("pelmora-e2e-%1").arg(QCoreApplication::applicationPid()));
        QCOMPARE(print_result_list(printer, input), PrintOutcome::Printed);
        QCOMPARE(printer.printer_name(), m_queue);
        QVERIFY(printer.page_count() >= 2);

        QTRY_VERIFY_WITH_TIMEOUT(queue_is_empty(m_queue), 120000);
        QTRY_VERIFY_WITH_TIMEOUT(!(pdfs_in(m_out) - before).isEmpty(), 30000);
        const QSet<QString> fresh = pdfs_in(m_out) - before;
        QCOMPARE(fresh.size(), 1);
        const QString pdf = *fresh.begin();

        const QList<QStringList> pages = read_pages(pdf);
        QCOMPARE(pages.size(), printer.page_count());
        QVERIFY(a4_portrait(pdf));
        QStringList read;
        for (const QStringList& page : pages) {
            QVERIFY(!page.isEmpty());
            read << page;
        }
        const QStringList expected = expected_lines(input);
        QCOMPARE(read.size(), expected.size());
        // The two rules: 95 times the same glyph, at their places.
        for (qsizetype at : {qsizetype(2), read.size() - 1}) {
            const QString& rule = read.at(at);
            QCOMPARE(rule.size(), 95);
            QCOMPARE(rule.count(rule.front()), 95);
        }
        QCOMPARE(read.at(2), read.back());
        QFile::remove(pdf);
    }

    // The same list on the file printer: CUPS's own PDF filters keep the text.
    void list_printed_on_the_file_printer_reads_back_line_for_line()
    {
        QCOMPARE(run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), m_file_queue}), 0);
        QCOMPARE(QPrinterInfo::defaultPrinter().printerName(), m_file_queue);
        QFile::remove(m_file_out);

        const PrintInput input = long_list();
        QtPrinter printer;
        QCOMPARE(print_result_list(printer, input), PrintOutcome::Printed);
        QCOMPARE(printer.printer_name(), m_file_queue);
        QTRY_VERIFY_WITH_TIMEOUT(queue_is_empty(m_file_queue), 120000);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(m_file_out).size() > 0, 30000);

        const QList<QStringList> pages = read_pages(m_file_out);
        QCOMPARE(pages.size(), printer.page_count());
        QVERIFY(a4_portrait(m_file_out));
        QStringList read;
        for (const QStringList& page : pages)
            read << page;
        QCOMPARE(read, expected_lines(input));
        // Heading and column title open the first page and no later one.
        QVERIFY(pages.front().front().startsWith(QStringLiteral("ドライブ /home/佐藤/")));
        for (qsizetype p = 1; p < pages.size(); ++p) {
            QVERIFY(!pages.at(p).contains(read.at(0)));
            QVERIFY(!pages.at(p).contains(read.at(1)));
        }
    }

    void queue_that_refuses_jobs_is_reported_and_prints_nothing()
    {
        QCOMPARE(run(QStringLiteral("cupsreject"), {m_queue}), 0);
        const QSet<QString> before = pdfs_in(m_out);
        QtPrinter printer;
        QCOMPARE(print_result_list(printer, long_list()), PrintOutcome::Refused);
        QVERIFY(!printer.last_error().isEmpty());
        QVERIFY(queue_is_empty(m_queue));
        QCOMPARE(pdfs_in(m_out), before);
    }
};

QTEST_MAIN(CupsPrintTest)
#include "tst_cups_print.moc"
