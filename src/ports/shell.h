// SPDX-License-Identifier: GPL-3.0-or-later
// The shell layer under copy, move and trash: one file per request, done by the program
// itself, with its own replace and trash questions. Paths are the exact bytes (base/path.h).
// Backends: posix_shell.h.
#pragma once

#include "base/path.h"

#include <QList>
#include <memory>

namespace pelmora {

// What a transfer does with its source: moves it or copies it.
inline constexpr int FO_MOVE = 1;
inline constexpr int FO_COPY = 2;

// Which file stands at a path: device and inode, and the size and modification time that
// tell an untouched copy from one the user changed since.
struct FileIdentity
{
    bool valid = false;
    quint64 dev = 0;
    quint64 ino = 0;
    qint64 size = 0;
    qint64 mtime_ns = 0;

    // The same file (device and inode).
    bool same_file(const FileIdentity& o) const
    {
        return valid && o.valid && dev == o.dev && ino == o.ino;
    }
    // The same file, and neither its size nor its modification time changed.
    bool unchanged(const FileIdentity& o) const
    {
        return same_file(o) && size == o.size && mtime_ns == o.mtime_ns;
    }
};

// A file the trash holds: where it was, where it is now, and its info entry.
struct TrashedFile
{
    Path original;
    Path file;
    Path info;

    bool isValid() const { return !file.is_empty(); }
};

// What one transfer did, for the undo journal.
struct TransferReport
{
    // In: when valid, the source must still be this file (device and inode), or nothing
    // happens.
    FileIdentity expected_source;
    // Out: the file that stands at the destination afterwards.
    FileIdentity made;
    // Out: the file the destination held before, now in the trash (after a replace).
    TrashedFile replaced;
};

// Progress of one long copy. The backend only shows it once the copy has run for a while.
class CopyProgress
{
public:
    virtual ~CopyProgress() = default;
    // Returns false once the user asked to cancel.
    virtual bool update(qint64 done, qint64 total) = 0;
};

// What the bytes are copied for: a copy, or a move to another file system.
enum class Transfer { Copy, Move };

class CopyProgressFactory
{
public:
    virtual ~CopyProgressFactory() = default;
    virtual std::unique_ptr<CopyProgress> begin(const Path& src, const Path& dst, qint64 total,
                                                Transfer kind) = 0;
};

class Shell
{
public:
    virtual ~Shell() = default;
    // Copies (FO_COPY) or moves (FO_MOVE) the file src to the full path dst. True only when
    // the file arrived at dst; on false the source is untouched, dst holds no partial file and
    // a file dst held before is back in its place. A file at dst is replaced only after the
    // user's yes, and only once it went to the trash. report (may be null) says what was made.
    virtual bool transfer(const Path& src, const Path& dst, int func, TransferReport* report) = 0;
    bool transfer(const Path& src, const Path& dst, int func)
    {
        return transfer(src, dst, func, nullptr);
    }
    // Asks once for the whole request, then sends each path to the trash (or deletes it when
    // permanent). 0 when every path went, non-zero when the user declined or a path failed.
    // trashed receives one entry per path (invalid for a path that stayed).
    virtual int remove(const PathList& paths, bool permanent, QList<TrashedFile>* trashed) = 0;
    // Puts a trashed file back where it was; false when that place is taken or it failed.
    virtual bool restore(const TrashedFile& entry) = 0;
    // Deletes path only while it is still the file identity names, unchanged. False when it
    // changed, was replaced or could not be deleted.
    virtual bool delete_if_unchanged(const Path& path, const FileIdentity& identity) = 0;

    // One command's requests: files written between these are on disk once end_command
    // returned true. Outside a command each request is made durable on its own.
    virtual void begin_command() {}
    virtual bool end_command() { return true; }
};

// Brackets one command's shell requests; the command asks finish() before it reports
// success, and a command that leaves early still gets its files synced.
class ShellCommandScope final
{
public:
    explicit ShellCommandScope(Shell* shell) : m_shell(shell)
    {
        if (m_shell)
            m_shell->begin_command();
    }
    ~ShellCommandScope()
    {
        if (m_shell && !m_done)
            m_shell->end_command();
    }
    ShellCommandScope(const ShellCommandScope&) = delete;
    ShellCommandScope& operator=(const ShellCommandScope&) = delete;

    bool finish()
    {
        m_done = true;
        return !m_shell || m_shell->end_command();
    }

private:
    Shell* m_shell;
    bool m_done = false;
};

} // namespace pelmora
