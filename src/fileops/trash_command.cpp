// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/trash_command.h"

#include "fileops/command_env.h"
#include "fileops/command_run.h"
#include "fileops/shell_helpers.h"
#include "fileops/undo_manager.h"
#include "ports/event_yield.h"
#include "ports/message_box.h"
#include "session/history_log.h"
#include "session/session.h"

namespace pelmora {

namespace {
const QString kRowEnding = QStringLiteral("を ごみ箱へ移動しました");
const QString kDone = QStringLiteral("選択されたファイルをごみ箱へ移動しました");
} // namespace

void run_trash(CommandEnv& env)
{
    const CommandRun run(env);
    if (!run.started())
        return;
    QRV_Public& s = env.session;
    PathList paths;
    const bool single = env.window.single_mode();
    if (single) {
        if (s.no_file_selected()) {
            env.messages.warn(QStringLiteral("ファイルを選択してください"));
            return;
        }
        paths.append(s.sel_path());
        env.yield.process_pending();
    } else {
        // A path marked twice goes once; asking the trash for it again would fail.
        for (const Path& mark : s.sel_marks) {
            if (!paths.contains(mark))
                paths.append(mark);
        }
        // Every row is written before the request: they stand for files about to go.
        for (const Path& p : paths)
            env.history.append_history_row(p.readable() + kRowEnding, history::Trash);
    }

    QList<TrashedFile> trashed;
    const int code = shell_delete(env.shell, paths, false, &trashed);
    env.yield.process_pending();

    if (single)
        env.history.append_history_row(paths.front().readable() + kRowEnding, history::Trash);
    if (code != 0) {
        env.history.append_failure_row();
        if (!single) {
            env.undo.set_kind(UndoKind::Trash);
            env.undo.clear_paths();
        }
        return;
    }
    std::vector<UndoEntry> entries;
    entries.reserve(std::size_t(paths.size()));
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const TrashedFile t = trashed.value(i);
        entries.push_back(UndoEntry{paths.at(i), t.file, FileIdentity{}, TrashedFile{}});
    }
    env.undo.record(UndoKind::Trash, std::move(entries));
    env.messages.inform(kDone);
    env.window.start_blink();
}

} // namespace pelmora
