// SPDX-License-Identifier: GPL-3.0-or-later
// The trash command: the selected file, or every marked file in one request, to the trash,
// with history rows, the undo journal of kind 4, the message and the blink.
#pragma once

namespace pelmora {

struct CommandEnv;

void run_trash(CommandEnv& env);

} // namespace pelmora
