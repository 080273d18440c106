#include "undo/undo_command.h"

#include "app/history_log.h"
#include "app/session.h"
#include "fileops/command_env.h"
#include "fileops/shell_helpers.h"
#include "platform/event_yield.h"
#include "platform/message_box.h"
#include "platform/shell.h"

#include <QFile>

namespace pelmora {

namespace {

enum : int { kCompress = 1, kCopy = 2, kMove = 3, kTrash = 4 };

QString paren(const QString& prefix, const QString& path)
{
    return prefix + QLatin1Char('(') + path + QLatin1Char(')');
}

} // namespace

bool delete_archive(const QString& archive)
{
    return QFile::remove(archive);
}

QString undo_question(int kind, const QString& first_dst, bool several, bool restores_earlier)
{
    const QString more = several ? QStringLiteral("等") : QString();
    QString line;
    switch (kind) {
    case kCompress:
        // An updated archive is not deleted: the question says what really happens.
        line = paren(QStringLiteral("作成した書庫ファイル"), first_dst) +
               (restores_earlier ? QStringLiteral("を更新前の書庫ファイルに戻します")
                                 : QStringLiteral("を削除します"));
        break;
    case kCopy:
        line = paren(QStringLiteral("コピーしたファイル"), first_dst) + more +
               QStringLiteral("を削除します");
        break;
    case kMove:
        line = paren(QStringLiteral("移動したファイル"), first_dst) + more +
               QStringLiteral("を戻します");
        break;
    case kTrash:
        line = paren(QStringLiteral("ごみ箱へ移動したファイル"), first_dst) + more +
               QStringLiteral("を戻します");
        break;
    default:
        return {};
    }
    return line + kCrLf + QStringLiteral("よろしいですか");
}

void run_undo(CommandEnv& env, const ArchiveUndo& undo_archive,
              const ArchiveRestores& restores_earlier)
{
    QRV_Public& s = env.session;
    const bool several = s.undo_src.size() > 1;
    if (!several && (s.undo_src.isEmpty() || s.undo_src.front().trimmed().isEmpty())) {
        env.messages.show(QStringLiteral("1つ前の操作を元に戻せませんでした"), MsgIcon::Critical,
                          MsgButtons::Ok);
        return;
    }
    const QString first_dst = s.undo_dst.value(0);
    const bool restores =
        s.undo_kind == kCompress && restores_earlier && restores_earlier(first_dst);
    const QString question = undo_question(s.undo_kind, first_dst, several, restores);
    if (question.isEmpty())
        return;
    if (!env.messages.confirm(question))
        return;

    bool error = false;
    if (s.undo_kind == kCompress) {
        error = !undo_archive(first_dst);
        env.history.append_history_row(paren(QStringLiteral("作成した書庫ファイル"), first_dst) +
                                       QStringLiteral("を 削除しました"));
    } else {
        for (qsizetype i = 0; i < s.undo_src.size(); ++i) {
            const QString src = s.undo_src.at(i);
            const QString dst = s.undo_dst.value(i);
            switch (s.undo_kind) {
            case kCopy:
                // A copy that cannot be deleted spoils the result but not the others.
                if (!QFile::remove(dst))
                    error = true;
                env.history.append_history_row(paren(QStringLiteral("コピーしたファイル"), dst) +
                                               QStringLiteral("を 削除しました"));
                break;
            case kMove: {
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
