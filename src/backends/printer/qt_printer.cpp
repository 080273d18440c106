// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/printer/qt_printer.h"

#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <cups/cups.h>

namespace pelmora {

namespace {

// Installed faces that keep half-width and full-width characters on a fixed grid, best
// first. IPAGothic is dual-width (fontconfig does not call it monospaced) but lines up
// exactly like the Windows Gothic face the list was laid out for.
constexpr const char* kFixedPitchJapanese[] = {
    "IPAGothic", "IPAゴシック", "Noto Sans Mono CJK JP",
    "VL Gothic", "TakaoGothic", "Source Han Code JP",
};

// Some printers report a full-page printable area; keep the text off the paper's edge.
constexpr qreal kMinimumMarginMm = 10.0;

QPageSize::PageSizeId page_size_of(PaperSize paper)
{
    switch (paper) {
    case PaperSize::A4:
        return QPageSize::A4;
    }
    return QPageSize::A4;
}

QPageLayout::Orientation orientation_of(PageOrientation orientation)
{
    switch (orientation) {
    case PageOrientation::Portrait:
        return QPageLayout::Portrait;
    }
    return QPageLayout::Portrait;
}

} // namespace

QtPrinter::QtPrinter() = default;

QtPrinter::QtPrinter(PdfFileTarget target) : m_pdf_path(std::move(target.path)) {}

QtPrinter::~QtPrinter()
{
    discard();
}

QString QtPrinter::choose_font_family(const QString& requested)
{
    const QStringList installed = QFontDatabase::families();
    if (installed.contains(requested, Qt::CaseInsensitive))
        return requested;
    for (const char* name : kFixedPitchJapanese) {
        const QString family = QString::fromUtf8(name);
        if (installed.contains(family, Qt::CaseInsensitive))
            return family;
    }
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    for (const QString& family : japanese) {
        if (QFontDatabase::isFixedPitch(family))
            return family;
    }
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

PrintStatus QtPrinter::fail(PrintStatus status, const QString& why)
{
    m_failed = true;
    m_last_error = why;
    return status;
}

PrintStatus QtPrinter::find_printer()
{
    if (m_failed || m_ended)
        return PrintStatus::Refused;
    if (!m_pdf_path.isEmpty() || !m_printer_name.isEmpty())
        return PrintStatus::Ok;
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return fail(PrintStatus::NoPrinter, QStringLiteral("no default printer"));
    m_printer_name = info.printerName();
    return PrintStatus::Ok;
}

PrintStatus QtPrinter::set_font_name(const QString& family)
{
    if (const PrintStatus status = find_printer(); status != PrintStatus::Ok)
        return status;
    m_family = choose_font_family(family);
    if (m_painter.isActive()) {
        QFont font = m_painter.font();
        font.setFamily(m_family);
        m_painter.setFont(font);
        m_line_height = m_painter.fontMetrics().lineSpacing();
        m_ascent = m_painter.fontMetrics().ascent();
    }
    return PrintStatus::Ok;
}

PrintStatus QtPrinter::set_font_size(double points)
{
    if (const PrintStatus status = find_printer(); status != PrintStatus::Ok)
        return status;
    if (!(points > 0))
        return fail(PrintStatus::Refused, QStringLiteral("font size %1").arg(points));
    m_points = points;
    if (m_painter.isActive()) {
        QFont font = m_painter.font();
        font.setPointSizeF(m_points);
        m_painter.setFont(font);
        const QFontMetricsF metrics(font, m_device.get());
        m_line_height = metrics.lineSpacing();
        m_ascent = metrics.ascent();
    }
    return PrintStatus::Ok;
}

PrintStatus QtPrinter::set_paper_size(PaperSize paper)
{
    if (const PrintStatus status = find_printer(); status != PrintStatus::Ok)
        return status;
    if (m_painter.isActive())
        return fail(PrintStatus::Refused, QStringLiteral("paper size after the first line"));
    m_paper = paper;
    return PrintStatus::Ok;
}

PrintStatus QtPrinter::set_orientation(PageOrientation orientation)
{
    if (const PrintStatus status = find_printer(); status != PrintStatus::Ok)
        return status;
    if (m_painter.isActive())
        return fail(PrintStatus::Refused, QStringLiteral("orientation after the first line"));
    m_orientation = orientation;
    return PrintStatus::Ok;
}

PrintStatus QtPrinter::begin_document()
{
    QMarginsF margins;
    QString output = m_pdf_path;
    if (output.isEmpty()) {
        // The printer's own margins, read from its driver for this paper.
        QPrinter native(QPrinterInfo::printerInfo(m_printer_name), QPrinter::HighResolution);
        native.setPageSize(QPageSize(page_size_of(m_paper)));
        native.setPageOrientation(orientation_of(m_orientation));
        margins = native.pageLayout().margins(QPageLayout::Millimeter);

        m_spool = std::make_unique<QTemporaryDir>();
        if (!m_spool->isValid())
            return fail(PrintStatus::Refused, QStringLiteral("no spool folder"));
        output = m_spool->filePath(QStringLiteral("list.pdf"));
    }
    margins = QMarginsF(
        qMax(margins.left(), kMinimumMarginMm), qMax(margins.top(), kMinimumMarginMm),
        qMax(margins.right(), kMinimumMarginMm), qMax(margins.bottom(), kMinimumMarginMm));

    m_device = std::make_unique<QPrinter>(QPrinter::HighResolution);
    m_device->setOutputFormat(QPrinter::PdfFormat);
    m_device->setOutputFileName(output);
    m_device->setDocName(m_job_title);
    m_device->setCreator(QStringLiteral("PelmoraVer1.1"));
    m_device->setFullPage(false);
    const QPageLayout layout(QPageSize(page_size_of(m_paper)), orientation_of(m_orientation),
                             margins, QPageLayout::Millimeter);
    if (!m_device->setPageLayout(layout))
        return fail(PrintStatus::Refused, QStringLiteral("page layout not accepted"));
    if (!m_painter.begin(m_device.get()))
        return fail(PrintStatus::Refused, QStringLiteral("cannot start the document"));

    if (m_family.isEmpty())
        m_family = choose_font_family(QString());
    QFont font(m_family);
    font.setPointSizeF(m_points);
    font.setStyleHint(QFont::TypeWriter);
    m_painter.setFont(font);
    const QFontMetricsF metrics(font, m_device.get());
    m_line_height = metrics.lineSpacing();
    m_ascent = metrics.ascent();
    m_y = 0;
    m_pages = 1;
    return PrintStatus::Ok;
}

qsizetype QtPrinter::fitting_length(const QString& text)
{
    if (text.isEmpty() || find_printer() != PrintStatus::Ok)
        return text.size();
    // The width is known once the document has started, as the next line would start it.
    if (!m_painter.isActive() && begin_document() != PrintStatus::Ok)
        return text.size();
    if (!m_device)
        return text.size();
    const QFontMetricsF metrics(m_painter.font(), m_device.get());
    const qreal width = m_device->width();
    if (metrics.horizontalAdvance(text) <= width)
        return text.size();
    // The longest prefix that fits; never split a surrogate pair.
    qsizetype low = 1;
    qsizetype high = text.size();
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        if (metrics.horizontalAdvance(text.left(mid)) <= width)
            low = mid;
        else
            high = mid - 1;
    }
    if (low > 1 && low < text.size() && text.at(low - 1).isHighSurrogate())
        --low;
    return low;
}

PrintStatus QtPrinter::print_line(const QString& text)
{
    if (const PrintStatus status = find_printer(); status != PrintStatus::Ok)
        return status;
    if (!m_painter.isActive()) {
        if (const PrintStatus status = begin_document(); status != PrintStatus::Ok)
            return status;
    }
    // A page takes at least one line, however tall the font.
    if (m_y > 0 && m_y + m_line_height > m_device->height()) {
        if (!m_device->newPage())
            return fail(PrintStatus::Refused, QStringLiteral("cannot start a new page"));
        m_y = 0;
        ++m_pages;
    }
    m_painter.drawText(QPointF(0, m_y + m_ascent), text);
    m_y += m_line_height;
    return PrintStatus::Ok;
}

PrintStatus QtPrinter::end_document()
{
    if (const PrintStatus status = find_printer(); status != PrintStatus::Ok)
        return status;
    if (!m_painter.isActive()) {
        if (const PrintStatus status = begin_document(); status != PrintStatus::Ok)
            return status;
    }
    if (!m_painter.end() || m_device->printerState() == QPrinter::Error)
        return fail(PrintStatus::Refused, QStringLiteral("cannot finish the document"));
    const QString output = m_device->outputFileName();
    m_device.reset();
    if (!QFileInfo::exists(output))
        return fail(PrintStatus::Refused, QStringLiteral("document not written"));
    if (m_pdf_path.isEmpty()) {
        cups_option_t* options = nullptr;
        int count = 0;
        count = cupsAddOption("media", "A4", count, &options); // the only paper the list uses
        count = cupsAddOption("orientation-requested", "3", count, &options);
        // A queue instance ("queue/instance") prints on its queue.
        const QString queue = m_printer_name.section(QLatin1Char('/'), 0, 0);
        const int job =
            cupsPrintFile(queue.toLocal8Bit().constData(), QFile::encodeName(output).constData(),
                          m_job_title.toUtf8().constData(), count, options);
        cupsFreeOptions(count, options);
        m_spool.reset();
        if (job == 0)
            return fail(PrintStatus::Refused, QString::fromUtf8(cupsLastErrorString()));
    }
    m_ended = true;
    return PrintStatus::Ok;
}

void QtPrinter::abort_document()
{
    discard();
    m_failed = true;
}

void QtPrinter::discard()
{
    if (m_painter.isActive()) {
        m_device->abort();
        m_painter.end();
        if (!m_pdf_path.isEmpty())
            QFile::remove(m_pdf_path);
    }
    m_device.reset();
    m_spool.reset();
}

} // namespace pelmora
