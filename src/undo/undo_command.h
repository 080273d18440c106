// SPDX-License-Identifier: GPL-3.0-or-later
// Undo of the last file operation from the undo journal: copies are deleted, moved files
// moved back, trashed files reported as not restorable; a compression's archive is put back
// or removed by the undo manager, which keeps the earlier archive.
#pragma once

#include "session/undo_journal.h"

#include <QString>

namespace pelmora {

struct CommandEnv;

void run_undo(CommandEnv& env);

// The confirmation question for a journal of this kind; empty for kinds that have none.
// restores_earlier: the compression's undo puts the earlier archive back.
QString undo_question(UndoKind kind, const Path& first_dst, bool several,
                      bool restores_earlier = false);

} // namespace pelmora
