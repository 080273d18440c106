// SPDX-License-Identifier: GPL-3.0-or-later
#include "office_fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

namespace pelmora::fixtures {

QString find_soffice()
{
    QString program = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
    return program;
}

QStringList convert_with_soffice(const QString& soffice, const QStringList& sources,
                                 const QString& format, const QString& outdir, QString* log,
                                 const QString& infilter)
{
    const QTemporaryDir profile(QDir::tempPath() + QStringLiteral("/fixture-profile-XXXXXX"));
    QStringList arguments{QStringLiteral("-env:UserInstallation=") +
                              QUrl::fromLocalFile(profile.path()).toString(QUrl::FullyEncoded),
                          QStringLiteral("--headless"), QStringLiteral("--norestore"),
                          QStringLiteral("--nologo")};
    if (!infilter.isEmpty())
        arguments << QStringLiteral("--infilter=") + infilter;
    arguments << QStringLiteral("--convert-to") << format << QStringLiteral("--outdir") << outdir;
    arguments << sources;

    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(soffice, arguments);
    const bool finished = process.waitForFinished(180'000);
    const QString output = QString::fromLocal8Bit(process.readAll());
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }

    QStringList written;
    for (const QString& source : sources) {
        const QString target = outdir + QLatin1Char('/') + QFileInfo(source).completeBaseName() +
                               QLatin1Char('.') + format.section(QLatin1Char(':'), 0, 0);
        if (!QFileInfo::exists(target)) {
            if (log != nullptr)
                *log = QStringLiteral("%1 not written (finished=%2, exit=%3): %4")
                           .arg(target)
                           .arg(finished)
                           .arg(process.exitCode())
                           .arg(output);
            return {};
        }
        written << target;
    }
    return written;
}

QString csv_utf8_infilter()
{
    // separator 44 (,), text delimiter 34 ("), character set 76 (UTF-8), first line 1
    return QStringLiteral("Text - txt - csv (StarCalc):44,34,76,1");
}

QString sample_workbook_csv(int rows, int seed)
{
    static const char* const items[] = {"りんご",  "みかん", "ぶどう", "Pencil",   "ノート",
                                        "Stapler", "封筒",   "Toner",  "クリップ", "Binder"};
    QString csv = QStringLiteral("No,品名,数量,単価,金額,備考\n");
    for (int row = 1; row <= rows; ++row) {
        const int quantity = (row * 7 + seed * 3) % 40 + 1;
        const int price = ((row + seed) * 37) % 900 + 100;
        csv += QStringLiteral("%1,%2,%3,%4,%5,%6\n")
                   .arg(row)
                   .arg(QString::fromUtf8(items[(row + seed) % 10]))
                   .arg(quantity)
                   .arg(price)
                   .arg(quantity * price)
                   .arg(row % 3 == 0 ? QStringLiteral("要確認") : QStringLiteral("OK"));
    }
    return csv;
}

QString sample_document_rtf(int seed)
{
    QString body;
    for (int paragraph = 0; paragraph < 6 + seed % 3; ++paragraph) {
        body += QStringLiteral("\\fs24 Paragraph %1. The quarterly figures were reviewed and "
                               "the remaining items are listed below for the meeting on day "
                               "%2. Please bring the signed forms and the updated budget.\\par\n")
                    .arg(paragraph + 1)
                    .arg(seed + paragraph + 3);
    }
    return QStringLiteral("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Liberation Serif;}}\n"
                          "{\\b\\fs48 Report %1\\par}\n%2}\n")
        .arg(seed)
        .arg(body);
}

bool write_text(const QString& path, const QString& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(text.toUtf8()) >= 0 && file.flush();
}

bool write_two_page_pdf(const QString& path, const QSizeF& page_points)
{
    QPdfWriter writer(path);
    writer.setResolution(72); // one unit is one point
    writer.setPageSize(QPageSize(page_points, QPageSize::Point));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    const qreal w = page_points.width();
    const qreal h = page_points.height();
    const QColor dark(20, 20, 20);
    painter.fillRect(QRectF(0, 0, w / 5, h), dark);
    painter.setPen(Qt::NoPen);
    painter.setBrush(dark);
    const qreal r = std::min(w, h) / 6;
    painter.drawEllipse(QPointF(w / 2, h / 2), r, r);
    if (!writer.newPage())
        return false;
    painter.fillRect(QRectF(w - w / 5, 0, w / 5, h), dark);
    return painter.end();
}

qsizetype ink_pixels(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    qsizetype count = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            if (qRed(line[x]) < 240 || qGreen(line[x]) < 240 || qBlue(line[x]) < 240)
                ++count;
        }
    }
    return count;
}

qsizetype grey_pixels(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    qsizetype count = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            const int g = qGray(line[x]);
            if (g > 60 && g < 200)
                ++count;
        }
    }
    return count;
}

} // namespace pelmora::fixtures
