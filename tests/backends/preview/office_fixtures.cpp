// SPDX-License-Identifier: GPL-3.0-or-later
#include "office_fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QPageSize>
#include <QPainter>
#include <QPair>
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

namespace {

quint32 crc32(const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= static_cast<unsigned char>(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A zip archive of stored (uncompressed) members, enough for an OOXML package.
QByteArray stored_zip(const QList<QPair<QByteArray, QByteArray>>& members)
{
    const auto le = [](QByteArray& out, quint32 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.append(char((value >> (8 * i)) & 0xFF));
    };
    QByteArray body;
    QByteArray directory;
    for (const auto& [name, data] : members) {
        const quint32 offset = body.size();
        const quint32 crc = crc32(data);
        for (QByteArray* out : {&body, &directory}) {
            le(*out, out == &body ? 0x04034b50 : 0x02014b50, 4);
            if (out == &directory)
                le(*out, 20, 2); // made by
            le(*out, 20, 2);     // needed
            le(*out, 0, 2);      // flags
            le(*out, 0, 2);      // stored
            le(*out, 0, 4);      // time and date
            le(*out, crc, 4);
            le(*out, data.size(), 4);
            le(*out, data.size(), 4);
            le(*out, name.size(), 2);
            le(*out, 0, 2); // extra
            if (out == &directory) {
                le(*out, 0, 2); // comment
                le(*out, 0, 2); // disk
                le(*out, 0, 2); // internal attributes
                le(*out, 0, 4); // external attributes
                le(*out, offset, 4);
            }
            out->append(name);
        }
        body.append(data);
    }
    QByteArray end;
    le(end, 0x06054b50, 4);
    le(end, 0, 4);
    le(end, members.size(), 2);
    le(end, members.size(), 2);
    le(end, directory.size(), 4);
    le(end, body.size(), 4);
    le(end, 0, 2);
    return body + directory + end;
}

QByteArray paragraphs(const char* before, const char* after, int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += before + QByteArray("Linked picture test paragraph, line ") + QByteArray::number(i) +
               after;
    return out;
}

} // namespace

QByteArray linked_html(const QByteArray& url, const QByteArray& planted)
{
    return "<html><body>" + paragraphs("<p>", "</p>", 12) + "<img src=\"" + url +
           "\" width=\"200\" height=\"200\"><img src=\"" + planted +
           "\" width=\"600\" height=\"600\"></body></html>";
}

QByteArray linked_flat_odt(const QByteArray& url)
{
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" office:version="1.2"
 office:mimetype="application/vnd.oasis.opendocument.text"><office:body><office:text>)" +
           paragraphs("<text:p>", "</text:p>", 12) +
           R"(<text:p><draw:frame draw:name="p" text:anchor-type="as-char" svg:width="3cm"
 svg:height="3cm"><draw:image xlink:href=")" +
           url + R"(" xlink:type="simple" xlink:show="embed" xlink:actuate="onLoad"/>
</draw:frame></text:p></office:text></office:body></office:document>)";
}

QByteArray linked_docx(const QByteArray& url)
{
    const QByteArray types =
        R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/><Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/></Types>)";
    const QByteArray rels =
        R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/></Relationships>)";
    const QByteArray document_rels =
        R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId5" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/image" Target=")" +
        url + R"(" TargetMode="External"/></Relationships>)";
    const QByteArray document =
        R"(<?xml version="1.0" encoding="UTF-8"?><w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing" xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" xmlns:pic="http://schemas.openxmlformats.org/drawingml/2006/picture"><w:body>)" +
        paragraphs("<w:p><w:r><w:t>", "</w:t></w:r></w:p>", 12) +
        R"(<w:p><w:r><w:drawing><wp:inline><wp:extent cx="952500" cy="952500"/><wp:docPr id="1" name="p"/><a:graphic><a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/picture"><pic:pic><pic:nvPicPr><pic:cNvPr id="1" name="p"/><pic:cNvPicPr/></pic:nvPicPr><pic:blipFill><a:blip r:link="rId5"/></pic:blipFill><pic:spPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="952500" cy="952500"/></a:xfrm><a:prstGeom prst="rect"/></pic:spPr></pic:pic></a:graphicData></a:graphic></wp:inline></w:drawing></w:r></w:p></w:body></w:document>)";
    return stored_zip({{"[Content_Types].xml", types},
                       {"_rels/.rels", rels},
                       {"word/_rels/document.xml.rels", document_rels},
                       {"word/document.xml", document}});
}

} // namespace pelmora::fixtures
