// SPDX-License-Identifier: GPL-3.0-or-later
// Printer backend on Qt Print Support: lays the lines out with QPainter on A4 portrait in a
// fixed-pitch Japanese face, and hands the finished document to the default CUPS printer
// itself so that a queue that refuses the job is reported rather than lost.
#pragma once

#include "ports/printer.h"

#include <QPainter>
#include <QString>
#include <QtGlobal>
#include <memory>

class QPrinter;
class QTemporaryDir;

namespace pelmora {

// Writes the document to this PDF file in place of a printer.
struct PdfFileTarget
{
    QString path;
};

// One object prints one document: after end_document() or a failure every call is refused.
class QtPrinter final : public Printer
{
public:
    // Prints on the system's default printer.
    QtPrinter();
    explicit QtPrinter(PdfFileTarget target);
    ~QtPrinter() override;
    Q_DISABLE_COPY_MOVE(QtPrinter)

    // Title of the print job (what the queue shows); set before the first line.
    void set_job_title(const QString& title) { m_job_title = title; }

    PrintStatus set_font_name(const QString& family) override;
    PrintStatus set_font_size(double points) override;
    PrintStatus set_paper_size(PaperSize paper) override;
    PrintStatus set_orientation(PageOrientation orientation) override;
    PrintStatus print_line(const QString& text) override;
    qsizetype fitting_length(const QString& text) override;
    PrintStatus end_document() override;
    void abort_document() override;

    // The face the lines are printed in after the fallback, the pages begun so far, the
    // queue printed on, and the reason of the last failure (for logs).
    QString font_family() const { return m_family; }
    int page_count() const { return m_pages; }
    QString printer_name() const { return m_printer_name; }
    QString last_error() const { return m_last_error; }

    // The face used for a requested family: the family itself when it is installed,
    // otherwise an installed fixed-pitch Japanese Gothic face, so that columns line up.
    static QString choose_font_family(const QString& requested);

private:
    PrintStatus find_printer();
    PrintStatus begin_document();
    PrintStatus fail(PrintStatus status, const QString& why);
    void discard();

    QString m_pdf_path; // empty: print on the default printer
    QString m_printer_name;
    QString m_job_title = QStringLiteral("PelmoraVer1.1");
    QString m_family;
    double m_points = 8.0;
    PaperSize m_paper = PaperSize::A4;
    PageOrientation m_orientation = PageOrientation::Portrait;
    QString m_last_error;

    std::unique_ptr<QTemporaryDir> m_spool;
    std::unique_ptr<QPrinter> m_device;
    QPainter m_painter;
    qreal m_y = 0;
    qreal m_line_height = 0;
    qreal m_ascent = 0;
    int m_pages = 0;
    bool m_failed = false;
    bool m_ended = false;
};

class QtPrinterFactory final : public PrinterFactory
{
public:
    std::unique_ptr<Printer> create() override { return std::make_unique<QtPrinter>(); }
};

} // namespace pelmora
