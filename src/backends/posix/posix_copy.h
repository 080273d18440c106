// SPDX-License-Identifier: GPL-3.0-or-later
// Copies one file's bytes, mode and times into a new file at a path where nothing stands.
//
// The bytes go into an unnamed file in the destination folder (O_TMPFILE) that gets its name
// only once it is complete, so a crash leaves nothing behind; file systems without unnamed
// files get a hidden temporary name of the program's own, which later copies into that
// folder clear away once their writer is gone. The data moves by reflink where the file
// system shares blocks, by copy_file_range in the kernel otherwise, and through a buffer as
// the last resort.
#pragma once

#include "ports/shell.h"

#include <QByteArray>
#include <set>
#include <sys/stat.h>

namespace pelmora {

// Copies the rest of in to out: by reflink, in the kernel or through a buffer. Progress, when
// given, may cancel between chunks.
bool copy_bytes(int in, int out, qint64 total, CopyProgress* progress);

class PosixCopier final
{
public:
    enum class Durability {
        Now,     // data and name on disk before copy() returns
        Deferred // the caller syncs the destination's file system before it reports success
    };

    // Progress for copies larger than threshold; progress may be null.
    PosixCopier(CopyProgressFactory* progress, qint64 threshold);

    // Copies src to dst; false leaves no file at dst. dst must not exist (never replaced).
    // A source that changes while it is read fails the copy (a torn copy is no copy).
    // source_seen, when given, receives the source's status as it was copied; keep_owner
    // gives the copy the source's owner and group where this process may (a move as root);
    // kind tells the progress what the copy is for; source_fd, when valid, is the source
    // already opened for reading (the file the caller checked), src then only names it.
    bool copy(const QByteArray& src, const QByteArray& dst, const QString& src_text,
              const QString& dst_text, Durability durability, struct stat* source_seen = nullptr,
              bool keep_owner = false, Transfer kind = Transfer::Copy, int source_fd = -1);
    // Forgets the folders already cleared of stale temporaries (a new command looks again).
    void forget_cleared() { m_cleared.clear(); }

    // Tests turn unnamed temporary files off to exercise the hidden-name path.
    void set_use_unnamed(bool on) { m_use_unnamed = on; }

    // The prefix of the program's hidden temporary names.
    static QByteArray temp_prefix();

private:
    void clear_stale(const QByteArray& folder);

    CopyProgressFactory* m_progress;
    qint64 m_threshold;
    bool m_use_unnamed = true;
    std::set<QByteArray> m_cleared;
};

} // namespace pelmora
