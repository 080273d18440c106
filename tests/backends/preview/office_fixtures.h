// SPDX-License-Identifier: GPL-3.0-or-later
// Test documents made on the spot: office files written by LibreOffice from text we supply,
// PDFs drawn with QPdfWriter, and pixel counts for judging rendered pictures.
#pragma once

#include <QImage>
#include <QSizeF>
#include <QString>
#include <QStringList>

namespace pelmora::fixtures {

// soffice, else libreoffice, on PATH; empty when LibreOffice is not installed.
QString find_soffice();

// Converts every source to format ("xls", "doc", ...) into outdir with one LibreOffice run
// and a throw-away profile. infilter, when given, is passed as --infilter. Returns the files
// written, in the order of sources; on failure an empty list and the reason in *log.
QStringList convert_with_soffice(const QString& soffice, const QStringList& sources,
                                 const QString& format, const QString& outdir, QString* log,
                                 const QString& infilter = {});

// CSV import filter options for UTF-8 text, comma separated, double-quoted.
QString csv_utf8_infilter();

// A typical one-sheet workbook as CSV: a header row and `rows` rows of Japanese and Latin
// text with numbers; seed varies the content.
QString sample_workbook_csv(int rows, int seed);
// A typical one-page letter as RTF with a heading and a few paragraphs.
QString sample_document_rtf(int seed);

bool write_text(const QString& path, const QString& text);

// A PDF of two pages of the given size in points. Page 1: a dark bar over the left fifth and
// a dark disc in the middle. Page 2: a dark bar over the right fifth only.
bool write_two_page_pdf(const QString& path, const QSizeF& page_points);

// Pixels with any channel below 240: ink on a white page.
qsizetype ink_pixels(const QImage& image);
// Pixels clearly between black and white, as antialiased edges produce.
qsizetype grey_pixels(const QImage& image);

// Documents whose only picture is linked from url (about a dozen lines of text besides):
// HTML (with a second 600 px picture from planted, a file URL), flat ODT, and DOCX.
QByteArray linked_html(const QByteArray& url, const QByteArray& planted);
QByteArray linked_flat_odt(const QByteArray& url);
QByteArray linked_docx(const QByteArray& url);

} // namespace pelmora::fixtures
