// SPDX-License-Identifier: GPL-3.0-or-later
// The printer the list command prints on, in the order the command uses it: choose the font
// name and size, the paper and the orientation, print lines top to bottom, end the document.
// Tests record the calls; the real backend prints on the default printer.
#pragma once

#include <QString>
#include <memory>

namespace pelmora {

// What a printer call did. Any value but Ok ends the job: the caller aborts the document,
// tells the user and writes no history row.
enum class PrintStatus {
    Ok,
    NoPrinter, // no printer is installed or none is the default
    Refused,   // the printer (or its queue) refused a setting, a page or the job
};

// Paper and orientation carry the codes the printer settings of the list use.
enum class PaperSize { A4 = 9 };
enum class PageOrientation { Portrait = 1 };

class Printer
{
public:
    virtual ~Printer() = default;

    // Settings apply to the document that the next line starts; they are made before the
    // first line.
    virtual PrintStatus set_font_name(const QString& family) = 0;
    virtual PrintStatus set_font_size(double points) = 0;
    virtual PrintStatus set_paper_size(PaperSize paper) = 0;
    virtual PrintStatus set_orientation(PageOrientation orientation) = 0;

    // One line below the previous one, from the left margin; the printer starts a new page
    // when the page is full.
    virtual PrintStatus print_line(const QString& text) = 0;

    // How many leading characters of text fit on one line between the margins at the
    // current font (at least 1 for a non-empty text). A printer that cannot tell says all.
    virtual qsizetype fitting_length(const QString& text) { return text.size(); }

    // Sends the document to the printer.
    virtual PrintStatus end_document() = 0;

    // Drops a document that failed part-way; nothing is sent. Safe to call at any time.
    virtual void abort_document() = 0;
};

// Makes one printer per printed document, on the default printer.
class PrinterFactory
{
public:
    virtual ~PrinterFactory() = default;
    virtual std::unique_ptr<Printer> create() = 0;
};

} // namespace pelmora
