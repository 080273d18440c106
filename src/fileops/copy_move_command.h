// SPDX-License-Identifier: GPL-3.0-or-later
// The copy and move commands: one shell request per selected file into the folder chosen in
// the destination chooser, history rows, undo journal, the closing message and the blink.
#pragma once

#include <functional>

namespace pelmora {

struct CommandEnv;

enum class TransferKind { Copy, Move };

// choose_destination shows the destination chooser modally and returns once it is closed;
// its results arrive through the session's dlg_cancel and dest_dir.
void run_copy_or_move(CommandEnv& env, TransferKind kind,
                      const std::function<void()>& choose_destination);

} // namespace pelmora
