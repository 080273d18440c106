// SPDX-License-Identifier: GPL-3.0-or-later
#include "print_help/print_list.h"

#include "base/native_path.h"

namespace pelmora {

namespace {

const QString kIndent = QStringLiteral("     ");
const QString kContinuation = QStringLiteral("          ");

// Blanks only, as the grid texts were trimmed when the list was first printed: a tab or
// other white space belongs to the name.
QString trim_blanks(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

QString rule_line()
{
    return kIndent + QString(95, QLatin1Char('='));
}

} // namespace

bool has_print_data(const QList<ListedFile>& rows)
{
    if (rows.isEmpty())
        return false;
    return !(rows.size() == 1 && trim_blanks(rows.front().file_name).isEmpty());
}

QStringList print_lines(const PrintInput& input)
{
    QStringList lines;
    QString heading = QStringLiteral("ドライブ ") + input.drive;
    if (!input.single_mode)
        heading += QStringLiteral("(画面上で選択されたファイルのみ出力)");
    lines << heading;
    lines << kIndent + QStringLiteral("ファイル名(保存場所を含みます)");
    lines << rule_line();
    if (input.single_mode) {
        for (const ListedFile& row : input.rows)
            lines << kIndent + native_path::readable(trim_blanks(row.folder) +
                                                     trim_blanks(row.file_name));
    } else if (input.marks.isEmpty()) {
        lines << kIndent; // nothing marked: one empty entry line
    } else {
        for (const Path& mark : input.marks)
            lines << kIndent + mark.readable();
    }
    lines << rule_line();
    lines << kIndent;
    return lines;
}

QStringList wrap_line(const QString& line, const std::function<qsizetype(const QString&)>& fits)
{
    QStringList pieces;
    QString rest = line;
    QString prefix;
    while (true) {
        const QString candidate = prefix + rest;
        const qsizetype room = fits(candidate) - prefix.size();
        if (room >= rest.size() || room <= 0) {
            // All fits, or not even one character fits after the indent: print it as it is.
            pieces << candidate;
            return pieces;
        }
        qsizetype cut = room;
        const qsizetype slash = rest.lastIndexOf(QLatin1Char('/'), room - 1);
        if (slash >= room / 2)
            cut = slash + 1;
        if (cut < rest.size() && rest.at(cut).isLowSurrogate() && cut > 1)
            --cut;
        pieces << prefix + rest.left(cut);
        rest = rest.mid(cut);
        prefix = kContinuation;
    }
}

PrintOutcome print_result_list(Printer& printer, const PrintInput& input)
{
    if (!has_print_data(input.rows))
        return PrintOutcome::NoData;

    auto failed = [&printer](PrintStatus status) {
        printer.abort_document();
        return status == PrintStatus::NoPrinter ? PrintOutcome::NoPrinter : PrintOutcome::Refused;
    };
    PrintStatus status = printer.set_font_name(QString::fromUtf8(kPrintFontName));
    if (status == PrintStatus::Ok)
        status = printer.set_font_size(kPrintFontPoints);
    if (status == PrintStatus::Ok)
        status = printer.set_paper_size(PaperSize::A4);
    if (status == PrintStatus::Ok)
        status = printer.set_orientation(PageOrientation::Portrait);
    if (status != PrintStatus::Ok)
        return failed(status);

    const auto fits = [&printer](const QString& text) { return printer.fitting_length(text); };
    const QStringList lines = print_lines(input);
    for (const QString& line : lines) {
        for (const QString& piece : wrap_line(line, fits)) {
            status = printer.print_line(piece);
            if (status != PrintStatus::Ok)
                return failed(status);
        }
    }
    status = printer.end_document();
    if (status != PrintStatus::Ok)
        return failed(status);
    return PrintOutcome::Printed;
}

QString print_history_text(const PrintInput& input)
{
    return input.drive + QStringLiteral("中の ") + input.doc_type.suffix() +
           QStringLiteral("検索一覧を 印刷出力しました");
}

QString print_failure_text(PrintOutcome outcome)
{
    switch (outcome) {
    case PrintOutcome::NoPrinter:
        return QStringLiteral("プリンタが見つかりません") + QStringLiteral("\r\n") +
               QStringLiteral("プリンタを設定してから印刷してください");
    case PrintOutcome::Refused:
        return QStringLiteral("プリンタが印刷を受け付けませんでした") + QStringLiteral("\r\n") +
               QStringLiteral("プリンタの状態を確認してください");
    case PrintOutcome::Printed:
    case PrintOutcome::NoData:
        break;
    }
    return {};
}

} // namespace pelmora
