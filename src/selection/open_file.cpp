#include "selection/open_file.h"

#include "app/session/history_log.h"
#include "app/session/session.h"
#include "platform/message_box.h"
#include "platform/opener.h"

namespace pelmora {

void open_selected_file(const QRV_Public& session, HistoryLog& history, Opener* opener,
                        MessageBoxes& messages)
{
    const QString path = session.sel_dir + session.sel_file;
    history.append_history_row(path + QStringLiteral("を 起動しました"), history::Open);
    if (opener && opener->open(path))
        return;
    messages.inform(QStringLiteral("ファイルのオープンに失敗しました"));
    history.append_failure_row();
}

} // namespace pelmora
