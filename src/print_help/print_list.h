// SPDX-License-Identifier: GPL-3.0-or-later
// The printed result list: the lines of the list command and the order of the printer calls
// that print them. Core only; the menu handler adds the hourglass, the messages and the
// history row around print_result_list().
#pragma once

#include "base/path.h"
#include "ports/printer.h"
#include "session/doc_type.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace pelmora {

inline constexpr auto kPrintFontName = "ＭＳ ゴシック";
inline constexpr double kPrintFontPoints = 8.0;
inline constexpr auto kNoPrintDataText = "印刷データがありません";

// One data row of the result grid, as the grid shows it.
struct ListedFile
{
    QString file_name; // column 0
    QString folder;    // column 1, ends with "/"
};

struct PrintInput
{
    QString drive; // the root list's current text, exactly as shown
    DocType doc_type;
    bool single_mode = true; // option 0 of the selection mode is on
    QList<ListedFile> rows;  // the grid's data rows, in grid order
    PathList marks;          // the marked full paths as stored, in click order
};

enum class PrintOutcome {
    Printed,   // the job went to the printer: append the history row
    NoData,    // nothing listed: show kNoPrintDataText; the printer was not touched
    NoPrinter, // no printer installed: show print_failure_text(); no history row
    Refused,   // the printer refused the job part-way; it was aborted; no history row
};

// True when the grid holds something to print: at least one data row, and not a single
// row whose file name is blank.
bool has_print_data(const QList<ListedFile>& rows);

// Every line of the printed list, top to bottom, before wrapping.
QStringList print_lines(const PrintInput& input);

// A line cut into the pieces that fit: fits(text) tells how many leading characters of text
// fit on one line. Pieces after the first are indented further, so a long path reads on, and
// break after a folder separator where one lies in the latter half of the piece.
QStringList wrap_line(const QString& line, const std::function<qsizetype(const QString&)>& fits);

// Applies the list's printer settings, prints print_lines() wrapped to the printable width
// and ends the document; stops at the first failing call and aborts the document then.
PrintOutcome print_result_list(Printer& printer, const PrintInput& input);

// The history row written after a printed list (without a background colour).
QString print_history_text(const PrintInput& input);

// The message for NoPrinter and Refused (empty for the other outcomes).
QString print_failure_text(PrintOutcome outcome);

} // namespace pelmora
