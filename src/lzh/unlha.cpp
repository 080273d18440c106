// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/unlha.h"

#include "lzh/archive_update.h"
#include "lzh/command_line.h"
#include "lzh/list_file.h"
#include "lzh/member_name.h"
#include "lzh/report_buffer.h"
#include "lzh/source_files.h"

#include <cstring>

namespace pelmora {
namespace {

// A path for the report: readable text, whatever its bytes.
QString shown(const QByteArray& path)
{
    return (path.startsWith('/') ? QStringLiteral("/") : QString()) +
           native_name_text(path.toStdString());
}

// Failures inside the update carry only what failed; say what it means.
QString reportFor(const UpdateOutcome& o)
{
    switch (o.result) {
    case UnlhaResult::Ok:
        return QStringLiteral("正常に終了しました (追加 %1、置換 %2、保持 %3)")
            .arg(o.added)
            .arg(o.replaced)
            .arg(o.kept);
    case UnlhaResult::ArchiveDamaged:
        return QStringLiteral("書庫が壊れているか、対応していない形式です: ") + o.detail;
    case UnlhaResult::ArchiveWriteFailed:
        return QStringLiteral("書庫を書き込めません: ") + o.detail;
    case UnlhaResult::SourceTooLarge:
        return QStringLiteral("ファイルが大きすぎます (4GB 以上): ") + o.detail;
    case UnlhaResult::SourceUnreadable:
        return QStringLiteral("ファイルを読み込めません: ") + o.detail;
    default:
        return o.detail;
    }
}

// The archive of the command line, or the one already open: `from` (-1: none) and `into`.
struct OpenArchive
{
    bool given = false;
    int from = -1;
    int into = -1;
};

UpdateOutcome run(const char* commandLine, const OpenArchive& open)
{
    auto fail = [](UnlhaResult code, const QString& text) {
        UpdateOutcome o;
        o.result = code;
        o.detail = text;
        return o;
    };
    if (commandLine == nullptr)
        return fail(UnlhaResult::BadCommandLine, QStringLiteral("コマンドラインがありません"));
    QString why;
    const auto cmd = parse_archiver_command_line(commandLine, why);
    if (!cmd)
        return fail(UnlhaResult::BadCommandLine, QStringLiteral("コマンドラインの誤り: ") + why);
    if (cmd->command.compare("u", Qt::CaseInsensitive) != 0)
        return fail(UnlhaResult::UnsupportedCommand,
                    QStringLiteral("未対応のコマンドです: ") + QString::fromUtf8(cmd->command));

    QList<QByteArray> entries = cmd->files;
    for (const QByteArray& listPath : cmd->listFiles) {
        const ListFile list = read_list_file(listPath);
        if (list.status == ListFile::Status::Unreadable)
            return fail(UnlhaResult::ListFileUnreadable,
                        QStringLiteral("リストファイルを読み込めません: ") + shown(listPath));
        if (list.status == ListFile::Status::Malformed)
            return fail(UnlhaResult::ListFileMalformed,
                        QStringLiteral("リストファイルの %1 行目が正しくありません: %2")
                            .arg(list.badLine)
                            .arg(shown(listPath)));
        entries << list.entries;
    }
    // A list naming nothing is refused rather than turned into an empty or
    // unchanged archive: our caller reads success as "the archive was written
    // from these files" and records it for undo, and an undo would then delete
    // an archive this call never produced.
    if (entries.isEmpty())
        return fail(UnlhaResult::NothingToAdd,
                    QStringLiteral("圧縮するファイルが指定されていません"));

    const SourceList sources = collect_sources(entries, cmd->base);
    switch (sources.status) {
    case SourceList::Status::Ok:
        break;
    case SourceList::Status::Missing:
        return fail(UnlhaResult::SourceMissing,
                    QStringLiteral("ファイルが見つかりません: ") + shown(sources.offending));
    case SourceList::Status::Unreadable:
        return fail(UnlhaResult::SourceUnreadable,
                    QStringLiteral("ファイルを読み込めません: ") + shown(sources.offending));
    case SourceList::Status::TooLarge:
        return fail(UnlhaResult::SourceTooLarge,
                    QStringLiteral("ファイルが大きすぎます (4GB 以上): ") +
                        shown(sources.offending));
    case SourceList::Status::PathTooLong:
        return fail(UnlhaResult::PathTooLong,
                    QStringLiteral("パスが長すぎます: ") + shown(sources.offending));
    case SourceList::Status::BadName:
        return fail(
            UnlhaResult::UnstorableName,
            QStringLiteral("ファイル名が UTF-8 でも Shift_JIS でもないため書庫に入れられません: ") +
                shown(sources.offending));
    }
    UpdateOutcome outcome =
        open.given ? update_archive_into(open.from, open.into, cmd->archive, sources.files)
                   : update_archive(cmd->archive, sources.files);
    outcome.detail = reportFor(outcome);
    return outcome;
}

} // namespace

int Unlha(quintptr /*owner*/, const char* commandLine, char* outputBuffer, std::uint32_t bufferSize)
{
    const UpdateOutcome outcome = run(commandLine, OpenArchive{});
    write_report(outcome.detail, outputBuffer, bufferSize);
    return static_cast<int>(outcome.result);
}

int UnlhaInto(const char* commandLine, int from, int into, char* outputBuffer,
              std::uint32_t bufferSize)
{
    const UpdateOutcome outcome = run(commandLine, OpenArchive{true, from, into});
    write_report(outcome.detail, outputBuffer, bufferSize);
    return static_cast<int>(outcome.result);
}

} // namespace pelmora
