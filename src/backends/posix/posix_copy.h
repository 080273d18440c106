// SPDX-License-Identifier: GPL-3.0-or-later
// Copies one file's bytes, mode and times into a new file at a name where nothing stands, in a
// folder the caller opened and checked: every name made is made relative to that handle, so a
// folder swapped for a link meanwhile is never written through.
//
// The bytes go into an unnamed file in the destination folder (O_TMPFILE) that gets its name
// only once it is complete, so a crash leaves nothing behind; file systems without unnamed
// files get a hidden temporary name of the program's own, which later copies into that
// folder clear away once their writer is gone. The data moves by reflink where the file
// system shares blocks, by copy_file_range in the kernel otherwise, and through a buffer as
// the last resort.
#pragma once

#include "backends/posix/posix_io.h"
#include "ports/shell.h"

#include <QByteArray>
#include <map>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace pelmora {

// The ways of copying bytes still worth a try between two file systems.
struct CopyWays
{
    bool clone = true;  // a reflink (FICLONE)
    bool kernel = true; // copy_file_range
};

// Copies the rest of in (total bytes long) to out: by reflink, in the kernel or through a
// buffer. A way the file systems refuse is struck from ways, so the next file does not try
// it again. Progress, when given, may cancel between chunks.
bool copy_bytes(int in, int out, qint64 total, CopyProgress* progress, CopyWays& ways);

class PosixCopier final
{
public:
    enum class Durability {
        Now,     // data and name on disk before copy() returns
        Deferred // the caller syncs the destination's file system before it reports success
    };

    // Progress for copies larger than threshold; progress may be null.
    PosixCopier(CopyProgressFactory* progress, qint64 threshold);

    // Copies the regular file open at in (the file the caller checked; st its status by
    // fstat) to name in the folder to; false leaves no file there. Nothing standing at name is
    // ever replaced. A source that changes while it is read fails the copy (a torn copy is no
    // copy). source_seen, when given, receives the source's status as it was copied;
    // keep_owner gives the copy the source's owner and group where this process may (a move
    // as root); kind, src and dst are for the progress.
    bool copy(int in, const struct stat& st, const posix::FolderHandles::Folder& to,
              const QByteArray& name, const Path& src, const Path& dst, Durability durability,
              struct stat* source_seen = nullptr, bool keep_owner = false,
              Transfer kind = Transfer::Copy);
    // Forgets the folders already cleared of stale temporaries (a new command looks again)
    // and the ways of copying found refused.
    void forget_cleared()
    {
        m_cleared.clear();
        m_ways.clear();
    }

    // Tests turn unnamed temporary files off to exercise the hidden-name path.
    void set_use_unnamed(bool on) { m_use_unnamed = on; }

    // The prefix of the program's hidden temporary names.
    static QByteArray temp_prefix();

private:
    void clear_stale(const posix::FolderHandles::Folder& folder);

    CopyProgressFactory* m_progress;
    qint64 m_threshold;
    bool m_use_unnamed = true;
    std::set<std::pair<dev_t, ino_t>> m_cleared;
    std::map<std::pair<dev_t, dev_t>, CopyWays> m_ways; // by source and destination device
};

} // namespace pelmora
