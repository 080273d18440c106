#include "undo/undo_command.h"

#include "app/session/history_log.h"
#include "app/session/session.h"
#include "fileops/command_env.h"
#include "fileops/shell_helpers.h"
#include "platform/event_yield.h"
#include "platform/message_box.h"
#include "platform/shell.h"

#include <QFile>

namespace pelmora {

namespace {

QString paren(const QString& prefix, const QString& path)
{
    return prefix + QLatin1Char('(') + path + QLatin1Char(')');
}

} // namespace

bool delete_archive(const QString& archive)
{
    return QFile::remove(archive);
}

QString undo_question(UndoKind kind, const QString& first_dst, bool several)
{
    const QString more = several ? QStringLiteral("等") : QString();
    QString line;
    switch (kind) {
    case UndoKind::Compression:
        line = paren(QStringLiteral("作成した書庫ファイル"), first_dst) +
               QStringLiteral("を削除します");
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

void run_undo(CommandEnv& env, const ArchiveUndo& undo_archive)
{
    QRV_Public& s = env.session;
    const UndoJournal& journal = s.undo;
    const bool several = journal.size() > 1;
    if (journal.is_empty()) {
        env.messages.show(QStringLiteral("1つ前の操作を元に戻せませんでした"), MsgIcon::Critical,
                          MsgButtons::Ok);
        return;
    }
    const QString first_dst = journal.entries().front().dst;
    const QString question = undo_question(journal.undo_kind(), first_dst, several);
    if (question.isEmpty())
        return;
    if (!env.messages.confirm(question))
        return;

    bool error = false;
    if (journal.undo_kind() == UndoKind::Compression) {
        error = !undo_archive(first_dst);
        env.history.append_history_row(paren(QStringLiteral("作成した書庫ファイル"), first_dst) +
                                       QStringLiteral("を 削除しました"));
    } else {
        // A copy of the entries: the shell may let other events run while it works.
        const std::vector<UndoEntry> entries = journal.entries();
        for (const UndoEntry& entry : entries) {
            const QString& src = entry.src;
            const QString& dst = entry.dst;
            switch (journal.undo_kind()) {
            case UndoKind::Copy:
                // A copy that cannot be deleted spoils the result but not the others.
                if (!QFile::remove(dst))
                    error = true;
                env.history.append_history_row(paren(QStringLiteral("コピーしたファイル"), dst) +
                                               QStringLiteral("を 削除しました"));
                break;
            case UndoKind::Move: {
                QString from = dst;
                s.op_handed_over = shell_copy_or_move(env.shell, from, src, FO_MOVE, 0);
                env.history.append_history_row(
                    paren(QStringLiteral("移動したファイル"), dst) + QStringLiteral("を ") + src +
                    (s.op_handed_over ? QStringLiteral("へ戻しました")
                                      : QStringLiteral("へ戻せませんでした")));
                break;
            }
            default:
                env.messages.inform(QStringLiteral("ごみ箱へ移動したファイルは元へ戻せません"));
                error = true;
                break;
            }
        }
    }
    env.yield.process_pending();
    if (!error) {
        env.messages.inform(QStringLiteral("1つ前の操作を取り消しました"));
        env.start_blink();
    } else {
        env.messages.inform(QStringLiteral("1つ前の操作の取消しに失敗しました"));
        env.history.append_failure_row();
    }
    env.set_undo_enabled(false);
}

} // namespace pelmora
