// SPDX-License-Identifier: GPL-3.0-or-later
// The printed result list: exact lines, the printer settings and their order, the no-data
// check, and what a failing printer leaves behind.
#include "base/native_path.h"
#include "print_help/print_list.h"
#include "recording_printer.h"

#include <QTest>

using namespace pelmora;

namespace {

PathList paths(const QStringList& texts)
{
    PathList l;
    for (const QString& t : texts)
        l.append(Path(t));
    return l;
}

const QString kFive = QStringLiteral("     ");
const QString kRule = kFive + QString(95, QLatin1Char('='));
const QString kTitle = kFive + QStringLiteral("ファイル名(保存場所を含みます)");
const QString kMultipleHeading = QStringLiteral("(画面上で選択されたファイルのみ出力)");

PrintInput two_files()
{
    PrintInput input;
    input.drive = QStringLiteral("/home/sato/  [ホーム]");
    input.doc_type = DocType::excel();
    input.single_mode = true;
    input.rows = {{QStringLiteral("A.XLS"), QStringLiteral("/home/sato/DOCS/")},
                  {QStringLiteral("B.XLS"), QStringLiteral("/home/sato/DOCS/SUB/")}};
    input.marks = paths({QString()});
    return input;
}

QStringList settings()
{
    return {QStringLiteral("font name ＭＳ ゴシック"), QStringLiteral("font size 8"),
            QStringLiteral("paper 9"), QStringLiteral("orientation 1")};
}

} // namespace

class PrintListTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Single mode
    void single_mode_prints_every_listed_file_between_heading_and_rules()
    {
        RecordingPrinter printer;
        QCOMPARE(print_result_list(printer, two_files()), PrintOutcome::Printed);

        QStringList expected = settings();
        expected << QStringLiteral("line ドライブ /home/sato/  [ホーム]")
                 << QStringLiteral("line ") + kTitle << QStringLiteral("line ") + kRule
                 << QStringLiteral("line ") + kFive + QStringLiteral("/home/sato/DOCS/A.XLS")
                 << QStringLiteral("line ") + kFive + QStringLiteral("/home/sato/DOCS/SUB/B.XLS")
                 << QStringLiteral("line ") + kRule << QStringLiteral("line ") + kFive
                 << QStringLiteral("end");
        QCOMPARE(printer.calls, expected);
        QCOMPARE(printer.aborts, 0);
    }

    void single_mode_removes_surrounding_blanks_of_folder_and_name_only()
    {
        PrintInput input = two_files();
        input.rows = {{QStringLiteral("  見積 書.XLS  "), QStringLiteral(" /srv/共有 フォルダ/ ")},
                      {QStringLiteral("\tTAB.XLS"), QStringLiteral("/srv/")}};
        const QStringList lines = print_lines(input);
        QCOMPARE(lines.at(3), kFive + QStringLiteral("/srv/共有 フォルダ/見積 書.XLS"));
        QCOMPARE(lines.at(4), kFive + QStringLiteral("/srv/\tTAB.XLS"));
    }

    void single_mode_ignores_the_marked_paths()
    {
        PrintInput input = two_files();
        input.marks = paths({QStringLiteral("/elsewhere/X.XLS")});
        const QStringList lines = print_lines(input);
        QCOMPARE(lines.size(), 7);
        QVERIFY(!lines.join(QLatin1Char('\n')).contains(QLatin1String("elsewhere")));
        QVERIFY(!lines.front().contains(kMultipleHeading));
    }

    void rule_is_five_blanks_and_ninety_five_equals()
    {
        const QStringList lines = print_lines(two_files());
        QCOMPARE(lines.at(2).size(), 100);
        QCOMPARE(lines.at(2).left(5), kFive);
        QCOMPARE(lines.at(2).count(QLatin1Char('=')), 95);
        QCOMPARE(lines.at(2), lines.at(lines.size() - 2));
        QCOMPARE(lines.back(), kFive);
    }

    // Multiple mode
    void multiple_mode_prints_marked_paths_in_click_order_with_repeats()
    {
        PrintInput input = two_files();
        input.single_mode = false;
        input.marks = paths({QStringLiteral("/home/sato/DOCS/SUB/B.XLS"),
                             QStringLiteral("/home/sato/DOCS/A.XLS"),
                             QStringLiteral("/home/sato/DOCS/SUB/B.XLS")});
        RecordingPrinter printer;
        QCOMPARE(print_result_list(printer, input), PrintOutcome::Printed);
        const QStringList expected = {QStringLiteral("ドライブ /home/sato/  [ホーム]") +
                                          kMultipleHeading,
                                      kTitle,
                                      kRule,
                                      kFive + QStringLiteral("/home/sato/DOCS/SUB/B.XLS"),
                                      kFive + QStringLiteral("/home/sato/DOCS/A.XLS"),
                                      kFive + QStringLiteral("/home/sato/DOCS/SUB/B.XLS"),
                                      kRule,
                                      kFive};
        QCOMPARE(printer.lines(), expected);
        QCOMPARE(printer.calls.mid(0, 4), settings());
        QCOMPARE(printer.calls.back(), QStringLiteral("end"));
    }

    void multiple_mode_prints_marks_as_stored_even_when_not_listed_any_more()
    {
        PrintInput input = two_files();
        input.single_mode = false;
        input.rows = {{QStringLiteral("NEW.XLS"), QStringLiteral("/other/")}};
        input.marks = paths({QStringLiteral(" /gone/OLD.XLS ")});
        const QStringList lines = print_lines(input);
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines.at(3), kFive + QStringLiteral(" /gone/OLD.XLS "));
    }

    void multiple_mode_with_nothing_marked_prints_one_blank_entry()
    {
        for (const QStringList& marks : {QStringList{QString()}, QStringList{}}) {
            PrintInput input = two_files();
            input.single_mode = false;
            input.marks = paths(marks);
            RecordingPrinter printer;
            QCOMPARE(print_result_list(printer, input), PrintOutcome::Printed);
            const QStringList lines = printer.lines();
            QCOMPARE(lines.size(), 6);
            QCOMPARE(lines.at(2), kRule);
            QCOMPARE(lines.at(3), kFive);
            QCOMPARE(lines.at(4), kRule);
        }
    }

    // No data
    void empty_grid_prints_nothing()
    {
        PrintInput input = two_files();
        input.rows.clear();
        RecordingPrinter printer;
        QCOMPARE(print_result_list(printer, input), PrintOutcome::NoData);
        QVERIFY(printer.calls.isEmpty());
        QCOMPARE(printer.aborts, 0);
    }

    void only_row_with_blank_name_prints_nothing()
    {
        PrintInput input = two_files();
        input.rows = {{QStringLiteral("   "), QStringLiteral("/home/sato/")}};
        RecordingPrinter printer;
        QCOMPARE(print_result_list(printer, input), PrintOutcome::NoData);
        QVERIFY(printer.calls.isEmpty());
    }

    void no_data_check_looks_at_the_grid_in_multiple_mode()
    {
        PrintInput input = two_files();
        input.single_mode = false;
        input.rows.clear();
        input.marks = paths({QStringLiteral("/home/sato/DOCS/A.XLS")});
        RecordingPrinter printer;
        QCOMPARE(print_result_list(printer, input), PrintOutcome::NoData);
        QVERIFY(printer.calls.isEmpty());
    }

    void blank_name_among_several_rows_is_printed()
    {
        PrintInput input = two_files();
        input.rows.append({QString(), QStringLiteral("/home/sato/")});
        QVERIFY(has_print_data(input.rows));
        QCOMPARE(print_lines(input).at(5), kFive + QStringLiteral("/home/sato/"));
    }

    // Long lists: the list itself never repeats the heading; paging is the printer's.
    void long_list_prints_heading_once_and_every_row_in_order()
    {
        PrintInput input = two_files();
        input.rows.clear();
        for (int i = 0; i < 500; ++i)
            input.rows.append({QStringLiteral("F%1.XLS").arg(i), QStringLiteral("/data/")});
        RecordingPrinter printer;
        QCOMPARE(print_result_list(printer, input), PrintOutcome::Printed);
        const QStringList lines = printer.lines();
        QCOMPARE(lines.size(), 505); // heading, title, rule, 500 entries, rule, blank
        QCOMPARE(lines.count(kTitle), 1);
        QCOMPARE(lines.filter(QStringLiteral("ドライブ ")).size(), 1);
        for (int i = 0; i < 500; ++i)
            QCOMPARE(lines.at(3 + i), kFive + QStringLiteral("/data/F%1.XLS").arg(i));
    }

    // Failures
    void no_printer_stops_before_any_line_and_aborts()
    {
        RecordingPrinter printer;
        printer.fail_at = 0;
        printer.failure = PrintStatus::NoPrinter;
        QCOMPARE(print_result_list(printer, two_files()), PrintOutcome::NoPrinter);
        QCOMPARE(printer.calls, QStringList{QStringLiteral("font name ＭＳ ゴシック")});
        QCOMPARE(printer.aborts, 1);
    }

    void refused_setting_stops_before_any_line()
    {
        RecordingPrinter printer;
        printer.fail_at = 2; // paper
        QCOMPARE(print_result_list(printer, two_files()), PrintOutcome::Refused);
        QCOMPARE(printer.calls.size(), 3);
        QVERIFY(printer.lines().isEmpty());
        QCOMPARE(printer.aborts, 1);
    }

    void refused_line_aborts_without_ending_the_document()
    {
        RecordingPrinter printer;
        printer.fail_at = 6; // the third line
        QCOMPARE(print_result_list(printer, two_files()), PrintOutcome::Refused);
        QCOMPARE(printer.lines().size(), 3);
        QVERIFY(!printer.calls.contains(QStringLiteral("end")));
        QCOMPARE(printer.aborts, 1);
    }

    void refused_job_at_the_end_is_reported()
    {
        RecordingPrinter printer;
        printer.fail_at = 4 + 7; // end_document after the seven lines
        QCOMPARE(print_result_list(printer, two_files()), PrintOutcome::Refused);
        QCOMPARE(printer.calls.back(), QStringLiteral("end"));
        QCOMPARE(printer.aborts, 1);
    }

    void failure_texts_name_the_problem()
    {
        const QString none = print_failure_text(PrintOutcome::NoPrinter);
        const QString refused = print_failure_text(PrintOutcome::Refused);
        QVERIFY(none.contains(QStringLiteral("プリンタが見つかりません")));
        QVERIFY(refused.contains(QStringLiteral("プリンタが印刷を受け付けませんでした")));
        QVERIFY(print_failure_text(PrintOutcome::Printed).isEmpty());
        QVERIFY(print_failure_text(PrintOutcome::NoData).isEmpty());
        QCOMPARE(QString::fromUtf8(kNoPrintDataText), QStringLiteral("印刷データがありません"));
    }

    // History row
    void history_text_names_drive_and_type_in_both_modes()
    {
        PrintInput input = two_files();
        QCOMPARE(print_history_text(input),
                 QStringLiteral("/home/sato/  [ホーム]中の XLS検索一覧を 印刷出力しました"));
        input.single_mode = false;
        QCOMPARE(print_history_text(input),
                 QStringLiteral("/home/sato/  [ホーム]中の XLS検索一覧を 印刷出力しました"));
        input.doc_type = DocType::word();
        QCOMPARE(print_history_text(input),
                 QStringLiteral("/home/sato/  [ホーム]中の DOC検索一覧を 印刷出力しました"));
    }

    void long_lines_wrap_with_indented_continuations()
    {
        const auto fits = [](const QString& text) { return qMin<qsizetype>(text.size(), 20); };
        QCOMPARE(wrap_line(QStringLiteral("     /a/b.xls"), fits),
                 QStringList{QStringLiteral("     /a/b.xls")});
        // Breaks after a folder separator in the latter half of a piece, else at the width.
        const QStringList pieces =
            wrap_line(QStringLiteral("     /abc/defghij/klmnopq/rstuvwxyz0123456789.xls"), fits);
        QCOMPARE(
            pieces,
            (QStringList{QStringLiteral("     /abc/defghij/"), QStringLiteral("          klmnopq/"),
                         QStringLiteral("          rstuvwxyz0"),
                         QStringLiteral("          123456789."), QStringLiteral("          xls")}));
        for (const QString& piece : pieces)
            QVERIFY(piece.size() <= 20);
    }

    void printed_entries_wrap_on_a_narrow_printer()
    {
        RecordingPrinter printer;
        printer.columns = 24;
        PrintInput input;
        input.drive = QStringLiteral("/d");
        input.rows = {{QStringLiteral("long_file_name.xls"), QStringLiteral("/data/folder/")}};
        QCOMPARE(print_result_list(printer, input), PrintOutcome::Printed);
        const QStringList lines = printer.lines();
        QVERIFY(lines.contains(QStringLiteral("     /data/folder/")));
        QVERIFY(lines.contains(QStringLiteral("          long_file_name")));
        QVERIFY(lines.contains(QStringLiteral("          .xls")));
    }

    void raw_byte_paths_print_readably()
    {
        RecordingPrinter printer;
        PrintInput input;
        input.drive = QStringLiteral("/d");
        // "見積.xls" in Shift_JIS, carried as lone surrogates.
        const QString name = native_path::from_native(QByteArrayLiteral("\x8C\xA9\x90\xCF.xls"));
        input.rows = {{name, QStringLiteral("/d/")}};
        QCOMPARE(print_result_list(printer, input), PrintOutcome::Printed);
        QVERIFY(printer.lines().contains(QStringLiteral("     /d/見積.xls")));
    }
};

QTEST_GUILESS_MAIN(PrintListTest)
#include "tst_print_list.moc"
