#include "fileops/copy_move_command.h"

#include "app/session/history_log.h"
#include "app/session/session.h"
#include "fileops/command_env.h"
#include "fileops/shell_helpers.h"
#include "platform/event_yield.h"
#include "platform/message_box.h"
#include "platform/shell.h"

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

} // namespace

void run_copy_or_move(CommandEnv& env, TransferKind kind,
                      const std::function<void()>& choose_destination)
{
    QRV_Public& s = env.session;
    const KindValues v = values_for(kind);
    s.dlg_mode = v.dlg_mode;
    choose_destination();
    if (s.dlg_cancel != 0)
        return;

    const BusyPointer busy(env);
    if (!s.dest_dir.trimmed().endsWith(QLatin1Char('/')))
        s.dest_dir += QLatin1Char('/');
    const QString row_tail = QStringLiteral("を ") + s.dest_dir + v.ending;
    bool failed = false;

    if (env.single_mode()) {
        if (s.no_file_selected()) {
            env.messages.warn(kSelectFile);
            return;
        }
        env.yield.process_pending();
        const QString path = s.sel_dir + s.sel_file;
        QString src = path;
        s.op_handed_over = shell_copy_or_move(env.shell, src, s.dest_dir + s.sel_file, v.func, 0);
        if (s.op_handed_over) {
            s.undo.record(v.undo_kind, {UndoEntry{path, s.dest_dir + s.sel_file}});
            env.yield.process_pending();
        } else {
            failed = true;
        }
        env.history.append_history_row(path + row_tail, v.color);
    } else {
        // The marks as they were when the command started; a path marked twice is handled
        // at its first mark only.
        const QStringList marks = s.sel_marks;
        QSet<QString> seen;
        std::vector<UndoEntry> done;
        for (const QString& mark : marks) {
            if (seen.contains(mark))
                continue;
            seen.insert(mark);
            env.yield.process_pending();
            QString src = mark;
            const QString dst = s.dest_dir + file_name_part(mark);
            s.op_handed_over = shell_copy_or_move(env.shell, src, dst, v.func, 0);
            env.yield.process_pending();
            env.history.append_history_row(src + row_tail, v.color);
            s.undo.set_kind(v.undo_kind);
            done.push_back(UndoEntry{src, dst});
            if (!s.op_handed_over) {
                failed = true;
                break;
            }
        }
        s.undo.record(s.undo.undo_kind(), std::move(done));
    }

    if (!failed) {
        env.messages.inform(v.success);
        env.set_undo_enabled(true);
        env.start_blink();
        return;
    }
    env.history.append_failure_row();
    env.messages.show(v.failure, MsgIcon::Critical, MsgButtons::Ok);
    s.undo.clear_paths();
}

} // namespace pelmora
