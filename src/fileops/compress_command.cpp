// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/compress_command.h"

#include "fileops/command_env.h"
#include "fileops/command_run.h"
#include "fileops/lha_update.h"
#include "fileops/shell_helpers.h"
#include "fileops/undo_manager.h"
#include "ports/archive_files.h"
#include "ports/archiver.h"
#include "ports/message_box.h"
#include "session/history_log.h"
#include "session/session.h"

namespace pelmora {
namespace {

const Path kSuffix(QStringLiteral(".LZH"));

QString compressed_row(const Path& dest, const Path& name, const Path& entry)
{
    return entry.readable() + QStringLiteral("を ") + dest.readable() +
           QStringLiteral("に圧縮して保存(") + name.readable() + QStringLiteral(".LZH)しました");
}

void fail(CommandEnv& env,
          const QString& message = QStringLiteral("選択XLSファイルの圧縮に失敗しました"))
{
    env.messages.warn(message);
    env.history.append_failure_row();
    env.undo.clear_paths();
}

// One line of the list file: the exact bytes of the path, quoted where it holds a space or
// a comma, ended by CR LF.
QByteArray list_line(const Path& entry)
{
    const QByteArray bytes = entry.bytes();
    if (bytes.contains(',') || bytes.contains(' '))
        return '"' + bytes + "\"\r\n";
    return bytes + "\r\n";
}

// The list file ends each name at CR LF, so a name holding either would be read as two.
bool list_cannot_carry(const Path& entry)
{
    const QByteArray bytes = entry.bytes();
    return bytes.contains('\r') || bytes.contains('\n');
}

QString unlistable_message(const Path& entry)
{
    QString shown = entry.readable();
    shown.replace(QLatin1Char('\r'), QStringLiteral("\\r"))
        .replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return QStringLiteral("ファイル名に改行が含まれているため圧縮できません\r\n") + shown;
}

// The list file and the archive, both gone or closed again before any message is shown: the
// new archive is written in full beside the old one and swapped in only once it reads back
// cleanly; the old one stays aside for undo.
bool write_archive(CommandEnv& env, const Path& archive, const QByteArray& listBytes,
                   ArchiveChange& change)
{
    if (env.archive_files == nullptr || env.archiver == nullptr)
        return false;
    const std::unique_ptr<ArchiveListFile> listFile = env.archive_files->write_list(listBytes);
    const std::unique_ptr<ArchiveUpdate> update =
        listFile ? env.archive_files->begin(archive) : nullptr;
    return update &&
           lha_update(*env.archiver, archive, listFile->path(), update->existing(),
                      update->output()) &&
           update->commit([&](int fd) { return env.archiver->verify(fd); }, change);
}

} // namespace

void run_compress(CommandEnv& env, const std::function<void()>& choose_destination)
{
    const CommandRun run(env);
    if (!run.started())
        return;
    QRV_Public& s = env.session;
    s.dlg_mode = DlgMode::Compress;
    choose_destination();
    if (s.dlg_cancel != 0)
        return;

    // Read once: events that run later cannot change what this command packs or where.
    const Path dest = s.dest_dir;
    const Path name = s.archive_name;
    const Path selPath = s.sel_path();
    const PathList marks = s.sel_marks;
    const Path archivePath = dest + name + kSuffix;
    QByteArray listBytes;
    Path unlistable;
    if (env.window.single_mode()) {
        if (s.no_file_selected()) {
            env.messages.warn(QStringLiteral("ファイルを選択してください"));
            return;
        }
        listBytes = list_line(selPath);
        if (list_cannot_carry(selPath))
            unlistable = selPath;
        env.history.append_history_row(compressed_row(dest, name, selPath), history::Compress);
        env.undo.record(UndoKind::Compression, {UndoEntry{selPath, archivePath}});
    } else {
        // Each entry names the file of the last click, as the journal always has; undo only
        // needs the archive.
        std::vector<UndoEntry> entries;
        entries.reserve(std::size_t(marks.size()));
        UndoKind kind = env.undo.journal().undo_kind();
        for (const Path& mark : marks) {
            listBytes += list_line(mark);
            if (unlistable.is_empty() && list_cannot_carry(mark))
                unlistable = mark;
            env.history.append_history_row(compressed_row(dest, name, mark), history::Compress);
            kind = UndoKind::Compression;
            entries.push_back(UndoEntry{selPath, archivePath});
        }
        env.undo.record(kind, std::move(entries));
    }
    listBytes += "\r\n";
    if (!unlistable.is_empty()) {
        fail(env, unlistable_message(unlistable));
        return;
    }

    s.dest_dir = s.dest_dir.with_separator_added();
    const Path archive = s.dest_dir + name + kSuffix;
    ArchiveChange change;
    if (!write_archive(env, archive, listBytes, change)) {
        fail(env);
        return;
    }
    change.archive = archive;
    env.undo.keep_archive(change);
    // What undo may take back later: this archive as it stands now.
    std::vector<UndoEntry> entries = env.undo.journal().entries();
    for (UndoEntry& e : entries) {
        e.dst = archive;
        e.made = change.made;
    }
    env.undo.record(UndoKind::Compression, std::move(entries));
    env.messages.inform(QStringLiteral("選択XLSファイルを圧縮しました"));
    env.undo.completed();
}

} // namespace pelmora
