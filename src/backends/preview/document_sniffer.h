// SPDX-License-Identifier: GPL-3.0-or-later
// What a file holds, judged by its bytes rather than its name: users keep CSV exports, web
// pages, RTF and newer workbooks under old .xls/.doc names, and LibreOffice must be told
// which import to use, or it falls back to reading any bytes as plain text.
#pragma once

#include <QByteArray>
#include <QString>

namespace pelmora {

enum class DocumentFormat {
    Unreadable,
    Empty,
    Binary,        // none of the formats below
    ExcelBinary,   // OLE2 compound file with a Workbook (BIFF8) or Book (BIFF5) stream
    WordBinary,    // OLE2 compound file with a WordDocument stream
    Ole2Other,     // OLE2 compound file without a stream we know (damaged or foreign)
    OldExcel,      // BIFF2 to BIFF4 worksheet
    OldWord,       // Word 2, Word for DOS, Write
    OoxmlWorkbook, // .xlsx content
    OoxmlDocument, // .docx content
    OdfSpreadsheet,
    OdfText,
    Rtf,
    Html,
    Xml2003Workbook, // Excel 2003 XML
    Xml2003Document, // Word 2003 XML
    Csv,
    Tsv,
    Text,
};

enum class TextEncoding { None, Utf8, Utf8Bom, Cp932, EucJp, Utf16 };

struct SniffedDocument
{
    DocumentFormat format = DocumentFormat::Unreadable;
    TextEncoding encoding = TextEncoding::None; // text formats only
    bool encrypted = false;                     // opening it needs a password
    bool is_container() const;                  // OLE2, OOXML or ODF
    bool is_text() const;                       // CSV, TSV or plain text
};

// Judges the bytes at the start of a file; path may hold raw bytes (see native_path).
SniffedDocument sniff_document(const QString& path);
// The same on a file already open for reading; its offset is left where it was.
SniffedDocument sniff_open_file(int fd);
// The same judgement on bytes already read (the start of the file, up to 64 KiB).
SniffedDocument sniff_bytes(const QByteArray& head);

// How LibreOffice is to read the content and write page 1 as PDF.
struct ImportPlan
{
    QString infilter;   // empty: let LibreOffice detect
    QString pdf_filter; // calc_pdf_Export or writer_pdf_Export
    QString suffix;     // file name suffix that matches the content
};

// word_by_name: the file is listed as a Word document (.doc); decides between the table and
// the text importer where the content fits both.
ImportPlan import_plan(const SniffedDocument& document, bool word_by_name);

// The --convert-to argument that writes page 1 only.
QString first_page_pdf_argument(const ImportPlan& plan);
// The --convert-to argument that writes every page.
QString whole_document_pdf_argument(const ImportPlan& plan);

} // namespace pelmora
