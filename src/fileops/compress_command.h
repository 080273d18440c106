// SPDX-License-Identifier: GPL-3.0-or-later
// Packs the selected file or files into one LZH archive in a folder the user picks.
#pragma once

#include <functional>

namespace pelmora {

struct CommandEnv;

// choose_destination shows the destination chooser for a compression (dlg_mode 1) and
// returns when it is closed, leaving dlg_cancel, dest_dir and archive_name in the session.
// The archive an update replaced stays with the undo manager, for its undo.
void run_compress(CommandEnv& env, const std::function<void()>& choose_destination);

} // namespace pelmora
