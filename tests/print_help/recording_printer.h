// SPDX-License-Identifier: GPL-3.0-or-later
// A printer that records every call in order, and can fail a chosen call.
#pragma once

#include "ports/printer.h"

#include <QStringList>

namespace pelmora {

class RecordingPrinter final : public Printer
{
public:
    QStringList calls;
    int fail_at = -1; // index of the call (in calls) that fails; -1: none
    PrintStatus failure = PrintStatus::Refused;
    int aborts = 0;
    qsizetype columns = -1; // characters per line; -1: any line fits

    PrintStatus set_font_name(const QString& family) override
    {
        return record(QStringLiteral("font name ") + family);
    }
    PrintStatus set_font_size(double points) override
    {
        return record(QStringLiteral("font size ") + QString::number(points));
    }
    PrintStatus set_paper_size(PaperSize paper) override
    {
        return record(QStringLiteral("paper ") + QString::number(static_cast<int>(paper)));
    }
    PrintStatus set_orientation(PageOrientation orientation) override
    {
        return record(QStringLiteral("orientation ") +
                      QString::number(static_cast<int>(orientation)));
    }
    PrintStatus print_line(const QString& text) override
    {
        return record(QStringLiteral("line ") + text);
    }
    qsizetype fitting_length(const QString& text) override
    {
        return columns > 0 ? qMin(text.size(), columns) : text.size();
    }
    PrintStatus end_document() override { return record(QStringLiteral("end")); }
    void abort_document() override { ++aborts; }

    // The printed lines only, without the "line " prefix.
    QStringList lines() const
    {
        QStringList out;
        for (const QString& call : calls) {
            if (call.startsWith(QLatin1String("line ")))
                out << call.mid(5);
        }
        return out;
    }

private:
    PrintStatus record(const QString& call)
    {
        calls << call;
        return calls.size() - 1 == fail_at ? failure : PrintStatus::Ok;
    }
};

} // namespace pelmora
