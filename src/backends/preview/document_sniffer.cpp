// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/preview/document_sniffer.h"

#include "base/native_path.h"

#include <QList>
#include <fcntl.h>
#include <unistd.h>

namespace pelmora {

namespace {

constexpr qsizetype kHeadBytes = 64 * 1024;

QByteArray utf16_name(const char* ascii)
{
    QByteArray out;
    for (const char* c = ascii; *c != '\0'; ++c) {
        out.append(*c);
        out.append('\0');
    }
    return out;
}

// Excel 97 and later: the globals BOF record, then FILEPASS straight after it when the
// workbook is encrypted.
bool biff8_encrypted(const QByteArray& head)
{
    static const QByteArray bof = QByteArrayLiteral("\x09\x08\x10\x00\x00\x06\x05\x00");
    const qsizetype at = head.indexOf(bof);
    return at >= 0 && head.mid(at + 20, 2) == QByteArrayLiteral("\x2F\x00");
}

// Word 97 and later: the stream starts with its FIB on a sector boundary; fEncrypted is bit 8
// of the flags at offset 10.
bool word_encrypted(const QByteArray& head)
{
    for (qsizetype at = 512; at + 12 <= head.size(); at += 512) {
        if (static_cast<unsigned char>(head.at(at)) != 0xEC ||
            static_cast<unsigned char>(head.at(at + 1)) != 0xA5)
            continue;
        const auto flags = static_cast<unsigned char>(head.at(at + 11));
        return (flags & 0x01) != 0;
    }
    return false;
}

SniffedDocument ole2(const QByteArray& head)
{
    SniffedDocument document;
    if (head.contains(utf16_name("EncryptedPackage"))) {
        // A password-protected .xlsx or .docx is wrapped in a compound file.
        document.format = head.contains(utf16_name("word/")) ? DocumentFormat::OoxmlDocument
                          : head.contains(utf16_name("xl/")) ? DocumentFormat::OoxmlWorkbook
                                                             : DocumentFormat::Ole2Other;
        document.encrypted = true;
        return document;
    }
    if (head.contains(utf16_name("Workbook")) || head.contains(utf16_name("Book"))) {
        document.format = DocumentFormat::ExcelBinary;
        document.encrypted = biff8_encrypted(head);
    } else if (head.contains(utf16_name("WordDocument"))) {
        document.format = DocumentFormat::WordBinary;
        document.encrypted = word_encrypted(head);
    } else {
        document.format = DocumentFormat::Ole2Other;
    }
    return document;
}

DocumentFormat zip(const QByteArray& head)
{
    if (head.mid(30, 8) == "mimetype") {
        if (head.contains("opendocument.spreadsheet"))
            return DocumentFormat::OdfSpreadsheet;
        if (head.contains("opendocument.text"))
            return DocumentFormat::OdfText;
    }
    if (head.contains("word/"))
        return DocumentFormat::OoxmlDocument;
    if (head.contains("xl/"))
        return DocumentFormat::OoxmlWorkbook;
    return DocumentFormat::Binary;
}

bool valid_utf8(const QByteArray& bytes)
{
    qsizetype i = 0;
    const qsizetype n = bytes.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(bytes.at(i));
        int follow = 0;
        if (c < 0x80)
            follow = 0;
        else if (c >= 0xC2 && c <= 0xDF)
            follow = 1;
        else if (c >= 0xE0 && c <= 0xEF)
            follow = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            follow = 3;
        else
            return false;
        if (i + follow >= n)
            return true; // cut off at the end of what was read
        for (int k = 1; k <= follow; ++k) {
            if ((static_cast<unsigned char>(bytes.at(i + k)) & 0xC0) != 0x80)
                return false;
        }
        i += follow + 1;
    }
    return true;
}

bool valid_euc_jp(const QByteArray& bytes)
{
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(bytes.at(i));
        if (c < 0x80)
            continue;
        int follow = 1;
        if (c == 0x8F)
            follow = 2; // JIS X 0212
        else if (c != 0x8E && (c < 0xA1 || c > 0xFE))
            return false;
        if (i + follow >= n)
            return true;
        for (int k = 1; k <= follow; ++k) {
            const auto t = static_cast<unsigned char>(bytes.at(i + k));
            if (t < 0xA1 || t > 0xFE)
                return false;
        }
        i += follow;
    }
    return true;
}

TextEncoding text_encoding(const QByteArray& head)
{
    if (head.startsWith("\xEF\xBB\xBF"))
        return TextEncoding::Utf8Bom;
    if (valid_utf8(head))
        return TextEncoding::Utf8;
    // Text that fits EUC-JP has no byte below 0xA1 after a high byte, which Shift_JIS
    // kanji and hiragana always have.
    if (valid_euc_jp(head))
        return TextEncoding::EucJp;
    return TextEncoding::Cp932;
}

DocumentFormat text_kind(const QByteArray& head)
{
    QByteArray lower = head.left(2048).toLower();
    const QByteArray trimmed = lower.trimmed();
    if (trimmed.startsWith("<?xml")) {
        if (lower.contains("urn:schemas-microsoft-com:office:spreadsheet"))
            return DocumentFormat::Xml2003Workbook;
        if (lower.contains("schemas.microsoft.com/office/word/2003/wordml"))
            return DocumentFormat::Xml2003Document;
    }
    if (trimmed.startsWith('<') &&
        (lower.contains("<html") || lower.contains("<table") || lower.contains("<!doctype html")))
        return DocumentFormat::Html;

    // Separators: a table has the same separator on most of its first lines.
    const QList<QByteArray> lines = head.left(16 * 1024).split('\n');
    int tab_lines = 0;
    int comma_lines = 0;
    int counted = 0;
    for (const QByteArray& line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        ++counted;
        tab_lines += line.contains('\t') ? 1 : 0;
        comma_lines += line.contains(',') ? 1 : 0;
        if (counted >= 50)
            break;
    }
    if (counted == 0)
        return DocumentFormat::Text;
    if (tab_lines * 2 > counted && tab_lines >= comma_lines)
        return DocumentFormat::Tsv;
    if (comma_lines * 2 > counted)
        return DocumentFormat::Csv;
    return DocumentFormat::Text;
}

} // namespace

bool SniffedDocument::is_container() const
{
    switch (format) {
    case DocumentFormat::ExcelBinary:
    case DocumentFormat::WordBinary:
    case DocumentFormat::Ole2Other:
    case DocumentFormat::OoxmlWorkbook:
    case DocumentFormat::OoxmlDocument:
    case DocumentFormat::OdfSpreadsheet:
    case DocumentFormat::OdfText:
        return true;
    default:
        return false;
    }
}

bool SniffedDocument::is_text() const
{
    return format == DocumentFormat::Csv || format == DocumentFormat::Tsv ||
           format == DocumentFormat::Text;
}

SniffedDocument sniff_bytes(const QByteArray& head)
{
    SniffedDocument document;
    if (head.isEmpty()) {
        document.format = DocumentFormat::Empty;
        return document;
    }
    if (head.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return ole2(head);
    if (head.startsWith("PK\x03\x04")) {
        document.format = zip(head);
        return document;
    }
    if (head.startsWith("{\\rtf")) {
        document.format = DocumentFormat::Rtf;
        return document;
    }
    static const QByteArray old_word[] = {QByteArrayLiteral("\xDB\xA5"),
                                          QByteArrayLiteral("\x31\xBE\x00\x00")};
    for (const QByteArray& signature : old_word) {
        if (head.startsWith(signature)) {
            document.format = DocumentFormat::OldWord;
            return document;
        }
    }
    static const QByteArray old_excel[] = {QByteArrayLiteral("\x09\x00\x04\x00"),
                                           QByteArrayLiteral("\x09\x02\x06\x00"),
                                           QByteArrayLiteral("\x09\x04\x06\x00")};
    for (const QByteArray& signature : old_excel) {
        if (head.startsWith(signature)) {
            document.format = DocumentFormat::OldExcel;
            return document;
        }
    }
    if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")) {
        document.encoding = TextEncoding::Utf16;
        document.format = DocumentFormat::Text;
        return document;
    }

    // Anything else must be text: LibreOffice reads any bytes at all as text otherwise.
    const QByteArray sample = head.left(4096);
    qsizetype control = 0;
    for (const char c : sample) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0) {
            document.format = DocumentFormat::Binary;
            return document;
        }
        // Tab, LF, FF, CR, ^Z (old end of file), ESC (ISO-2022-JP) appear in text.
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\f' && byte != '\r' &&
            byte != 0x1A && byte != 0x1B)
            ++control;
    }
    if (control * 100 > sample.size()) {
        document.format = DocumentFormat::Binary;
        return document;
    }
    document.format = text_kind(head.startsWith("\xEF\xBB\xBF") ? head.mid(3) : head);
    if (document.is_text())
        document.encoding = text_encoding(head);
    return document;
}

SniffedDocument sniff_document(const QString& path)
{
    const int fd = ::open(native_path::to_native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    const SniffedDocument document = sniff_open_file(fd);
    ::close(fd);
    return document;
}

SniffedDocument sniff_open_file(int fd)
{
    QByteArray head(kHeadBytes, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < head.size()) {
        const ssize_t n = ::pread(fd, head.data() + got, static_cast<size_t>(head.size() - got),
                                  static_cast<off_t>(got));
        if (n < 0)
            return {};
        if (n == 0)
            break;
        got += n;
    }
    head.truncate(got);
    return sniff_bytes(head);
}

namespace {

int libreoffice_encoding(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Cp932:
        return 60; // Japanese (Windows-932)
    case TextEncoding::EucJp:
        return 69; // Japanese (EUC-JP)
    case TextEncoding::Utf16:
        return 65535; // Unicode
    case TextEncoding::None:
    case TextEncoding::Utf8:
    case TextEncoding::Utf8Bom:
        break;
    }
    return 76; // UTF-8
}

QString csv_filter(const SniffedDocument& document)
{
    const int separator = document.format == DocumentFormat::Tsv ? 9 : 44;
    // separator, text quote ("), character set, first line, column formats, language (ja-JP)
    return QStringLiteral("Text - txt - csv (StarCalc):%1,34,%2,1,,1041")
        .arg(separator)
        .arg(libreoffice_encoding(document.encoding));
}

} // namespace

ImportPlan import_plan(const SniffedDocument& document, bool word_by_name)
{
    const QString calc = QStringLiteral("calc_pdf_Export");
    const QString writer = QStringLiteral("writer_pdf_Export");
    switch (document.format) {
    case DocumentFormat::ExcelBinary:
        return {QStringLiteral("MS Excel 97"), calc, QStringLiteral("xls")};
    case DocumentFormat::WordBinary:
        return {QStringLiteral("MS Word 97"), writer, QStringLiteral("doc")};
    case DocumentFormat::Ole2Other:
        // Forcing the import keeps LibreOffice from reading the container as text.
        return word_by_name ? ImportPlan{QStringLiteral("MS Word 97"), writer, "doc"}
                            : ImportPlan{QStringLiteral("MS Excel 97"), calc, "xls"};
    case DocumentFormat::OldExcel:
        return {{}, calc, QStringLiteral("xls")};
    case DocumentFormat::OldWord:
        return {{}, writer, QStringLiteral("doc")};
    case DocumentFormat::OoxmlWorkbook:
        return {QStringLiteral("Calc MS Excel 2007 XML"), calc, QStringLiteral("xlsx")};
    case DocumentFormat::OoxmlDocument:
        return {QStringLiteral("MS Word 2007 XML"), writer, QStringLiteral("docx")};
    case DocumentFormat::OdfSpreadsheet:
        return {QStringLiteral("calc8"), calc, QStringLiteral("ods")};
    case DocumentFormat::OdfText:
        return {QStringLiteral("writer8"), writer, QStringLiteral("odt")};
    case DocumentFormat::Rtf:
        return word_by_name
                   ? ImportPlan{QStringLiteral("Rich Text Format"), writer, "rtf"}
                   : ImportPlan{QStringLiteral("Rich Text Format (StarCalc)"), calc, "rtf"};
    case DocumentFormat::Html:
        return word_by_name ? ImportPlan{QStringLiteral("HTML (StarWriter)"), writer, "html"}
                            : ImportPlan{QStringLiteral("HTML (StarCalc)"), calc, "html"};
    case DocumentFormat::Xml2003Workbook:
        return {QStringLiteral("MS Excel 2003 XML"), calc, QStringLiteral("xml")};
    case DocumentFormat::Xml2003Document:
        return {QStringLiteral("MS Word 2003 XML"), writer, QStringLiteral("xml")};
    case DocumentFormat::Csv:
    case DocumentFormat::Tsv:
        return {csv_filter(document), calc, QStringLiteral("csv")};
    case DocumentFormat::Text:
        if (word_by_name)
            return {QStringLiteral("Text (encoded):UTF8,LF,,"), writer, QStringLiteral("txt")};
        return {csv_filter(document), calc, QStringLiteral("csv")};
    case DocumentFormat::Unreadable:
    case DocumentFormat::Empty:
    case DocumentFormat::Binary:
        break;
    }
    return {};
}

QString first_page_pdf_argument(const ImportPlan& plan)
{
    return QStringLiteral("pdf:%1:{\"PageRange\":{\"type\":\"string\",\"value\":\"1\"}}")
        .arg(plan.pdf_filter);
}

QString whole_document_pdf_argument(const ImportPlan& plan)
{
    return QStringLiteral("pdf:") + plan.pdf_filter;
}

} // namespace pelmora
