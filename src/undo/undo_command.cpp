// SPDX-License-Identifier: GPL-3.0-or-later
#include "undo/undo_command.h"

#include "fileops/command_env.h"
#include "fileops/command_run.h"
#include "fileops/shell_helpers.h"
#include "fileops/undo_manager.h"
#include "ports/event_yield.h"
#include "ports/file_system.h"
#include "ports/message_box.h"
#include "ports/shell.h"
#include "session/history_log.h"
#include "session/session.h"

namespace pelmora {

namespace {

QString paren(const QString& prefix, const Path& path)
{
    return prefix + QLatin1Char('(') + path.readable() + QLatin1Char(')');
}

// Puts back the file a copy or move replaced, once the new file has left its place.
bool restore_replaced(CommandEnv& env, const UndoEntry& entry)
{
    const bool ok = env.shell && env.shell->restore(entry.replaced);
    env.history.append_history_row(paren(QStringLiteral("置き換えたファイル"), entry.dst) +
                                   (ok ? QStringLiteral("を ごみ箱から戻しました")
                                       : QStringLiteral("を ごみ箱から戻せませんでした")));
    return ok;
}

// Deletes a copy only while it is the file the copy made, unchanged.
bool undo_copy(CommandEnv& env, const UndoEntry& entry)
{
    const bool deleted = env.shell && env.shell->delete_if_unchanged(entry.dst, entry.made);
    env.history.append_history_row(
        paren(QStringLiteral("コピーしたファイル"), entry.dst) +
        (deleted ? QStringLiteral("を 削除しました") : QStringLiteral("を 削除できませんでした")));
    if (!deleted)
        return false;
    return !entry.replaced.isValid() || restore_replaced(env, entry);
}

// Moves a file back only while it is the file the move brought there (edits travel with it).
bool undo_move(CommandEnv& env, const UndoEntry& entry)
{
    QRV_Public& s = env.session;
    s.op_handed_over = false;
    if (env.files && env.files->identity(entry.dst).same_file(entry.made)) {
        Path from = entry.dst;
        TransferReport report;
        report.expected_source = entry.made;
        s.op_handed_over =
            shell_copy_or_move(env.shell, env.files, from, entry.src, FO_MOVE, &report);
    }
    env.history.append_history_row(
        paren(QStringLiteral("移動したファイル"), entry.dst) + QStringLiteral("を ") +
        entry.src.readable() +
        (s.op_handed_over ? QStringLiteral("へ戻しました") : QStringLiteral("へ戻せませんでした")));
    if (!s.op_handed_over)
        return false;
    return !entry.replaced.isValid() || restore_replaced(env, entry);
}

} // namespace

QString undo_question(UndoKind kind, const Path& first_dst, bool several, bool restores_earlier)
{
    const QString more = several ? QStringLiteral("等") : QString();
    QString line;
    switch (kind) {
    case UndoKind::Compression:
        // An updated archive is not deleted: the question says what really happens.
        line = paren(QStringLiteral("作成した書庫ファイル"), first_dst) +
               (restores_earlier ? QStringLiteral("を更新前の書庫ファイルに戻します")
                                 : QStringLiteral("を削除します"));
        break;
    case UndoKind::Copy:
        line = paren(QStringLiteral("コピーしたファイル"), first_dst) + more +
               QStringLiteral("を削除します");
        break;
    case UndoKind::Move:
        line = paren(QStringLiteral("移動したファイル"), first_dst) + more +
               QStringLiteral("を戻します");
        break;
    case UndoKind::Trash:
        line = paren(QStringLiteral("ごみ箱へ移動したファイル"), first_dst) + more +
               QStringLiteral("を戻します");
        break;
    default:
        return {};
    }
    return line + kCrLf + QStringLiteral("よろしいですか");
}

void run_undo(CommandEnv& env)
{
    const CommandRun run(env);
    if (!run.started())
        return;
    // A copy of the journal: the shell lets other events run while it works.
    const UndoJournal journal = env.undo.journal();
    const bool several = journal.size() > 1;
    if (journal.is_empty()) {
        env.messages.show(QStringLiteral("1つ前の操作を元に戻せませんでした"), MsgIcon::Critical,
                          MsgButtons::Ok);
        return;
    }
    const UndoEntry& first = journal.entries().front();
    const bool restores =
        journal.undo_kind() == UndoKind::Compression && env.undo.restores_earlier(first.dst);
    const QString question = undo_question(journal.undo_kind(), first.dst, several, restores);
    if (question.isEmpty())
        return;
    if (!env.messages.confirm(question))
        return;

    ShellCommandScope sync(env.shell);
    bool error = false;
    if (journal.undo_kind() == UndoKind::Compression) {
        // Only the archive this compression left, unchanged since, is taken back.
        const bool done = env.undo.undo_archive(first);
        env.history.append_history_row(
            paren(QStringLiteral("作成した書庫ファイル"), first.dst) +
            (done ? QStringLiteral("を 削除しました") : QStringLiteral("を 削除できませんでした")));
        error = !done;
    } else {
        for (const UndoEntry& entry : journal.entries()) {
            switch (journal.undo_kind()) {
            case UndoKind::Copy:
                error = !undo_copy(env, entry) || error;
                break;
            case UndoKind::Move:
                error = !undo_move(env, entry) || error;
                break;
            default:
                env.messages.inform(QStringLiteral("ごみ箱へ移動したファイルは元へ戻せません"));
                error = true;
                break;
            }
        }
    }
    env.yield.process_pending();
    if (!sync.finish())
        error = true;
    if (!error) {
        env.messages.inform(QStringLiteral("1つ前の操作を取り消しました"));
        env.window.start_blink();
    } else {
        env.messages.inform(QStringLiteral("1つ前の操作の取消しに失敗しました"));
        env.history.append_failure_row();
    }
    env.undo.spent();
}

} // namespace pelmora
