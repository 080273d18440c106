// SPDX-License-Identifier: GPL-3.0-or-later
// Remembers what the last compression did to its archive, so that undoing it swaps the
// earlier archive back (or removes an archive that was new) instead of deleting members that
// were in it before. The earlier archive itself is kept beside the archive by the archive
// files port until it is no longer needed.
#pragma once

#include "base/path.h"
#include "ports/archive_files.h"

namespace pelmora {

struct UndoEntry;

class ArchiveBackups final
{
public:
    explicit ArchiveBackups(ArchiveFiles* files);
    ~ArchiveBackups();
    ArchiveBackups(const ArchiveBackups&) = delete;
    ArchiveBackups& operator=(const ArchiveBackups&) = delete;

    // A compression succeeded: its undo now acts on this change (the one before is dropped).
    void commit(const ArchiveChange& change);

    // Undo of the compression the journal entry names: swaps the earlier archive back where
    // there was one, removes the archive otherwise, in both cases only while it is still the
    // archive the compression left. True when that worked.
    bool undo(const UndoEntry& entry);
    // Whether undo of archive puts an earlier archive back instead of deleting it.
    bool restores(const Path& archive) const;

private:
    ArchiveFiles* m_files;
    ArchiveChange m_last; // the last compression that succeeded
};

} // namespace pelmora
