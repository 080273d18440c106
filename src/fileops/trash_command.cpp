#include "fileops/trash_command.h"

#include "app/history_log.h"
#include "app/session.h"
#include "fileops/command_env.h"
#include "fileops/shell_helpers.h"
#include "platform/event_yield.h"
#include "platform/message_box.h"

namespace pelmora {

namespace {
const QString kRowEnding = QStringLiteral("を ごみ箱へ移動しました");
const QString kDone = QStringLiteral("選択されたファイルをごみ箱へ移動しました");
constexpr int kTrashKind = 4;
} // namespace

void run_trash(CommandEnv& env)
{
    QRV_Public& s = env.session;
    QStringList paths;
    const bool single = env.single_mode();
    if (single) {
        if (s.sel_dir.trimmed().isEmpty() || s.sel_file.trimmed().isEmpty()) {
            env.messages.warn(QStringLiteral("ファイルを選択してください"));
            return;
        }
        paths.append(s.sel_dir + s.sel_file);
        env.yield.process_pending();
    } else {
        // A path marked twice goes once; asking the trash for it again would fail.
        for (const QString& mark : s.sel_marks) {
            if (!paths.contains(mark))
                paths.append(mark);
        }
        // Every row is written before the request: they stand for files about to go.
        for (const QString& p : paths)
            env.history.append_history_row(p + kRowEnding, history::Trash);
    }

    QList<TrashedFile> trashed;
    const int code = shell_delete(env.shell, paths, false, &trashed);
    env.yield.process_pending();

    if (single)
        env.history.append_history_row(paths.front() + kRowEnding, history::Trash);
    if (code != 0) {
        env.history.append_failure_row();
        if (!single) {
            s.undo_kind = kTrashKind;
            s.undo_src = empty_text_list();
            s.undo_dst = empty_text_list();
        }
        return;
    }
    s.undo_kind = kTrashKind;
    s.undo_src = paths;
    s.undo_dst.clear();
    for (const TrashedFile& t : trashed)
        s.undo_dst.append(t.file);
    while (s.undo_dst.size() < s.undo_src.size())
        s.undo_dst.append(QString());
    env.messages.inform(kDone);
    env.start_blink();
}

} // namespace pelmora
