// SPDX-License-Identifier: GPL-3.0-or-later
// Opens the selected file in the application the desktop associates with it, and logs it.
#pragma once

namespace pelmora {

struct QRV_Public;
class HistoryLog;
class MessageBoxes;
class Opener;

// The history row comes first; a refused request adds the message and the failure row when
// the desktop's answer arrives.
void open_selected_file(const QRV_Public& session, HistoryLog& history, Opener* opener,
                        MessageBoxes& messages);

} // namespace pelmora
