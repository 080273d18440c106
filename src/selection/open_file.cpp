// SPDX-License-Identifier: GPL-3.0-or-later
#include "selection/open_file.h"

#include "ports/message_box.h"
#include "ports/opener.h"
#include "session/history_log.h"
#include "session/session.h"

namespace pelmora {

void open_selected_file(const QRV_Public& session, HistoryLog& history, Opener* opener,
                        MessageBoxes& messages)
{
    const Path path = session.sel_path();
    history.append_history_row(path.readable() + QStringLiteral("を 起動しました"), history::Open);
    const auto refused = [&history, &messages] {
        messages.inform(QStringLiteral("ファイルのオープンに失敗しました"));
        history.append_failure_row();
    };
    if (!opener) {
        refused();
        return;
    }
    // The opener answers once the desktop has accepted or refused the request.
    opener->open(path, [refused](bool accepted) {
        if (!accepted)
            refused();
    });
}

} // namespace pelmora
