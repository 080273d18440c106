// Undo of the last file operation from the undo journal: copies are deleted, moved files
// moved back, trashed files reported as not restorable. Compression plugs in its own step.
#pragma once

#include "app/session/undo_journal.h"

#include <QString>
#include <functional>

namespace pelmora {

struct CommandEnv;

// Undoes a compression: deletes the archive, or puts back the archive it had kept aside.
// True when that worked.
using ArchiveUndo = std::function<bool(const QString& archive)>;

// Deletes the archive: what undo of a compression does while nothing else is plugged in.
bool delete_archive(const QString& archive);

void run_undo(CommandEnv& env, const ArchiveUndo& undo_archive = delete_archive);

// The confirmation question for a journal of this kind; empty for kinds that have none.
QString undo_question(UndoKind kind, const QString& first_dst, bool several);

} // namespace pelmora
