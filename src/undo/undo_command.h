// SPDX-License-Identifier: GPL-3.0-or-later
// Undo of the last file operation from the undo journal: copies are deleted, moved files
// moved back, trashed files reported as not restorable. Compression plugs in its own step.
#pragma once

#include "session/undo_journal.h"

#include <QString>
#include <functional>

namespace pelmora {

struct CommandEnv;

// Undoes a compression whose journal entry is given: removes the archive, or puts back the
// archive it had kept aside, only while the archive is still the one the entry recorded. True
// when that worked. Without one, undo deletes the archive when it is unchanged.
using ArchiveUndo = std::function<bool(const UndoEntry& entry)>;

// Whether undoing a compression into this archive puts an earlier archive back (the
// compression updated an archive that was there) rather than deleting it.
using ArchiveRestores = std::function<bool(const Path& archive)>;

void run_undo(CommandEnv& env, const ArchiveUndo& undo_archive = {},
              const ArchiveRestores& restores_earlier = {});

// The confirmation question for a journal of this kind; empty for kinds that have none.
// restores_earlier: the compression's undo puts the earlier archive back.
QString undo_question(UndoKind kind, const Path& first_dst, bool several,
                      bool restores_earlier = false);

} // namespace pelmora
