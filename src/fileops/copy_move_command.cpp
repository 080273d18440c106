// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/copy_move_command.h"

#include "fileops/command_env.h"
#include "fileops/command_run.h"
#include "fileops/shell_helpers.h"
#include "fileops/undo_manager.h"
#include "ports/event_yield.h"
#include "ports/message_box.h"
#include "ports/shell.h"
#include "session/history_log.h"
#include "session/session.h"

#include <QSet>

namespace pelmora {

namespace {

struct KindValues
{
    DlgMode dlg_mode;
    int func;
    UndoKind undo_kind;
    WinColor color;
    QString ending;
    QString success;
    QString failure;
};

KindValues values_for(TransferKind kind)
{
    if (kind == TransferKind::Copy)
        return {DlgMode::Copy,
                FO_COPY,
                UndoKind::Copy,
                history::Copy,
                QStringLiteral("にコピーしました"),
                QStringLiteral("ファイルは正常にコピーされました"),
                QStringLiteral("ファイルのコピーに失敗しました")};
    return {DlgMode::Move,
            FO_MOVE,
            UndoKind::Move,
            history::Move,
            QStringLiteral("に移動しました"),
            QStringLiteral("ファイルは正常に移動されました"),
            QStringLiteral("ファイルの移動に失敗しました")};
}

const QString kSelectFile = QStringLiteral("ファイルを選択してください");

UndoEntry made_entry(const Path& src, const Path& dst, const TransferReport& report)
{
    return UndoEntry{src, dst, report.made, report.replaced};
}

} // namespace

void run_copy_or_move(CommandEnv& env, TransferKind kind,
                      const std::function<void()>& choose_destination)
{
    const CommandRun run(env);
    if (!run.started())
        return;
    QRV_Public& s = env.session;
    const KindValues v = values_for(kind);
    s.dlg_mode = v.dlg_mode;
    choose_destination();
    if (s.dlg_cancel != 0)
        return;

    const BusyPointer busy(env);
    s.dest_dir = s.dest_dir.with_separator_added();
    // What the command works on is read once, here: events that run while it works cannot
    // redirect the files that are still to come.
    const Path dest = s.dest_dir;
    const bool single = env.window.single_mode();
    const Path selDir = s.sel_dir;
    const Path selFile = s.sel_file;
    const PathList marks = s.sel_marks;
    const QString row_tail = QStringLiteral("を ") + dest.readable() + v.ending;
    ShellCommandScope sync(env.shell);
    bool failed = false;

    if (single) {
        if (selDir.is_blank() || selFile.is_blank()) {
            env.messages.warn(kSelectFile);
            return;
        }
        env.yield.process_pending();
        const Path path = selDir + selFile;
        Path src = path;
        TransferReport report;
        s.op_handed_over =
            shell_copy_or_move(env.shell, env.files, src, dest + selFile, v.func, &report);
        if (s.op_handed_over) {
            env.undo.record(v.undo_kind, {made_entry(path, dest + selFile, report)});
            env.yield.process_pending();
        } else {
            failed = true;
        }
        env.history.append_history_row(path.readable() + row_tail, v.color);
    } else {
        // A path marked twice is handled at its first mark only. Two different files that
        // would land on one destination stop the command at the second: it must not replace
        // the first, and the journal names each destination once.
        QSet<Path> seen;
        QSet<Path> landed;
        std::vector<UndoEntry> done;
        for (const Path& mark : marks) {
            if (seen.contains(mark))
                continue;
            seen.insert(mark);
            // Events run every few milliseconds rather than around every file: a pass through
            // the event loop per file costs more than a small file's move.
            env.yield.process_pending_in_loop();
            Path src = mark;
            const Path dst = dest + file_name_part(mark);
            TransferReport report;
            s.op_handed_over = !landed.contains(dst) &&
                               shell_copy_or_move(env.shell, env.files, src, dst, v.func, &report);
            landed.insert(dst);
            env.yield.process_pending_in_loop();
            env.history.append_history_row(src.readable() + row_tail, v.color);
            env.undo.set_kind(v.undo_kind);
            if (!s.op_handed_over) {
                failed = true;
                break;
            }
            done.push_back(made_entry(src, dst, report));
        }
        if (!failed)
            env.undo.record(v.undo_kind, std::move(done));
    }

    // Success means the bytes are on disk.
    if (!failed && !sync.finish())
        failed = true;
    if (!failed) {
        env.messages.inform(v.success);
        env.undo.completed();
        env.window.start_blink();
        return;
    }
    env.history.append_failure_row();
    env.messages.show(v.failure, MsgIcon::Critical, MsgButtons::Ok);
    env.undo.clear_paths();
}

} // namespace pelmora
