// SPDX-License-Identifier: GPL-3.0-or-later
// The files around a compression: its list file, and the archive it writes. An archive is
// never rewritten in place: the new archive is written in full beside the old one, synced
// and read back, then swapped in for it while the old one is locked; the old one stays beside
// it under a hidden name, so that undo swaps it back whole (inode, mode, owner and group). A
// name that is a symbolic link updates the file the link leads to; other hard links of an
// updated archive keep its earlier bytes. Backend: backends/posix/posix_archive_files.h.
#pragma once

#include "base/path.h"
#include "ports/shell.h"

#include <QByteArray>
#include <functional>
#include <memory>

namespace pelmora {

// A list file for the archiver, readable by this user only; removed with the object.
class ArchiveListFile
{
public:
    virtual ~ArchiveListFile() = default;
    virtual Path path() const = 0;
};

// What a finished compression left, enough for its undo.
struct ArchiveChange
{
    Path archive;      // the archive the compression named
    Path target;       // the file written: archive itself, or the file a link there leads to
    Path kept;         // the earlier archive, kept beside target; empty when there was none
    FileIdentity made; // the new archive as the compression left it
};

// One update of one archive, from ArchiveFiles::begin to commit. Destroyed without a commit,
// it removes the new file and releases the old archive: nothing changed.
class ArchiveUpdate
{
public:
    virtual ~ArchiveUpdate() = default;
    // The existing archive, open for reading and locked; -1 when there is none yet.
    virtual int existing() const = 0;
    // The new archive's file: empty, open for reading and writing, not yet named.
    virtual int output() const = 0;
    // Syncs the new archive, has verify read it back (from its descriptor), then puts it in
    // place of the existing archive, which is kept aside. False, with everything as before,
    // when a step failed or the existing archive changed since begin.
    virtual bool commit(const std::function<bool(int fd)>& verify, ArchiveChange& change) = 0;
};

class ArchiveFiles
{
public:
    virtual ~ArchiveFiles() = default;

    // Writes the list file (exact bytes); null when that failed.
    virtual std::unique_ptr<ArchiveListFile> write_list(const QByteArray& bytes) = 0;
    // Starts an update of the archive at path (exact bytes, any length); null when the archive
    // cannot be written or is being updated by someone else.
    virtual std::unique_ptr<ArchiveUpdate> begin(const Path& path) = 0;
    // Takes a compression back while its archive is still change.made, unchanged: swaps the
    // kept archive back in, or removes an archive that was new. False when it changed or
    // anything failed (the archive then stays as it was).
    virtual bool undo(const ArchiveChange& change) = 0;
    // Removes the kept earlier archive for good (its undo will not come).
    virtual void forget(const ArchiveChange& change) = 0;
};

} // namespace pelmora
