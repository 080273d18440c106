#include "fileops/compress_command.h"

#include "app/session/history_log.h"
#include "app/session/session.h"
#include "fileops/archive_backups.h"
#include "fileops/command_env.h"
#include "fileops/lha_update.h"
#include "fileops/shell_helpers.h"
#include "platform/message_box.h"

#include <QDir>
#include <QTemporaryFile>

namespace pelmora {
namespace {

QString compressed_row(const QRV_Public& s, const QString& entry)
{
    return entry + QStringLiteral("を ") + s.dest_dir + QStringLiteral("に圧縮して保存(") +
           s.archive_name + QStringLiteral(".LZH)しました");
}

void fail(CommandEnv& env)
{
    env.messages.warn(QStringLiteral("選択XLSファイルの圧縮に失敗しました"));
    env.history.append_failure_row();
    env.session.undo.clear_paths();
}

} // namespace

void run_compress(CommandEnv& env, const std::function<void()>& choose_destination,
                  ArchiveBackups& backups)
{
    QRV_Public& s = env.session;
    s.dlg_mode = DlgMode::Compress;
    choose_destination();
    if (s.dlg_cancel != 0)
        return;

    const QString archivePath = s.dest_dir + s.archive_name + QStringLiteral(".LZH");
    QString listText;
    if (env.single_mode()) {
        if (s.no_file_selected()) {
            env.messages.warn(QStringLiteral("ファイルを選択してください"));
            return;
        }
        listText = quote_if_needed(s.sel_dir + s.sel_file) + kCrLf;
        env.history.append_history_row(compressed_row(s, s.sel_dir + s.sel_file),
                                       history::Compress);
        s.undo.record(UndoKind::Compression, {UndoEntry{s.sel_dir + s.sel_file, archivePath}});
    } else {
        const qsizetype n = s.sel_marks.size();
        // Each entry names the file of the last click, as the journal always has; undo only
        // needs the archive.
        std::vector<UndoEntry> entries;
        entries.reserve(std::size_t(n));
        UndoKind kind = s.undo.undo_kind();
        for (qsizetype i = 0; i < n; ++i) {
            listText += quote_if_needed(s.sel_marks[i]) + kCrLf;
            env.history.append_history_row(compressed_row(s, s.sel_marks[i]), history::Compress);
            kind = UndoKind::Compression;
            entries.push_back(UndoEntry{s.sel_dir + s.sel_file, archivePath});
        }
        s.undo.record(kind, std::move(entries));
    }

    // The list file: unique, readable by this user only, gone when this scope ends.
    QTemporaryFile listFile(QDir::tempPath() + QStringLiteral("/0XXXXXX.TMP"));
    const QByteArray listBytes = (listText + kCrLf).toUtf8();
    if (!listFile.open() || listFile.write(listBytes) != listBytes.size() || !listFile.flush()) {
        fail(env);
        return;
    }
    listFile.close();

    if (!s.dest_dir.trimmed().endsWith(QLatin1Char('/')))
        s.dest_dir += QLatin1Char('/');
    const QString archive = s.dest_dir + s.archive_name + QStringLiteral(".LZH");
    if (!backups.prepare(archive)) {
        fail(env);
        return;
    }
    const bool ok =
        env.archiver != nullptr &&
        lha_update(*env.archiver, archive, QString(), QStringLiteral("@") + listFile.fileName());
    listFile.remove();
    if (!ok) {
        backups.discard();
        fail(env);
        return;
    }
    backups.commit();
    env.messages.inform(QStringLiteral("選択XLSファイルを圧縮しました"));
    if (env.set_undo_enabled)
        env.set_undo_enabled(true);
}

} // namespace pelmora
