// SPDX-License-Identifier: GPL-3.0-or-later
// Small POSIX helpers shared by the shell layer and the trash: an owned descriptor, a rename
// that never replaces what stands at the target, path splitting on bytes, folders kept open
// for one command, the file systems a command must sync, and the step that makes sure the
// file acted on is the file checked.
#pragma once

#include <QByteArray>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <sys/types.h>

namespace pelmora::posix {

// Closes the descriptor when it goes out of scope.
class Fd final
{
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& o) noexcept : m_fd(o.release()) {}
    Fd& operator=(Fd&& o) noexcept
    {
        if (this != &o) {
            reset();
            m_fd = o.release();
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset();
    // Closes now and says whether the close reported an error (a late write failure).
    bool close_checked();

private:
    int m_fd = -1;
};

// Renames from to to only when nothing stands at to; errno EEXIST when something does.
// Works on file systems without RENAME_NOREPLACE through a hard link, where they allow one.
int rename_no_replace(const char* from, const char* to);

// The folder part of a path ("/" for a file in the root, "." for a bare name).
QByteArray parent_of(const QByteArray& path);
// The part after the last "/".
QByteArray name_of(const QByteArray& path);

// True when this process may unlink path: its folder is writable and searchable, and the
// sticky bit of that folder does not keep the file for its owner.
bool removable(const QByteArray& path);

// True when b is the same file as a, with the same size and contents time: nobody wrote to
// it in between. The change time is left out, since a rename alone moves it.
bool same_version(const struct stat& a, const struct stat& b);

// Also the change time: nothing, not even a change of mode or owner, happened in between.
// For a file that was not renamed in between (a rename moves the change time).
bool same_state(const struct stat& a, const struct stat& b);

// rename_no_replace on names relative to folder descriptors.
int rename_at_no_replace(int from_dir, const char* from, int to_dir, const char* to);

// A handle of the entry itself at name in dir (a link as the link), for fstat: what it holds
// is the file that was checked, whatever takes the name later.
Fd open_entry(int dir, const char* name);

// How a checked rename ended: the file checked stands at its new name; the rename itself
// failed (errno says why, nothing moved); or another file had taken the checked one's place
// and went back.
enum class CheckedRename { Done, Refused, PutBack };
using RenameAt = std::function<int(int from_dir, const char* from, int to_dir, const char* to)>;
// Renames from to `to` without replacing anything (by rename, the same by default), then
// checks the file now under `to` against checked (same_version); landed receives its status.
CheckedRename rename_checked(int from_dir, const char* from, int to_dir, const char* to,
                             const struct stat& checked, struct stat& landed,
                             const RenameAt& rename = rename_at_no_replace);

// The step between checking a file and acting on it. The entry name in dir is renamed to a
// private name beside it (never replacing anything), and the file now under that name must
// be checked (device, inode, size and modification time, as fstat of the checked handle
// said): only then is aside set and true returned, and the caller acts on (dir, aside).
// When the rename fails nothing moved; when the check fails the file went back.
bool take_aside(int dir, const QByteArray& name, const struct stat& checked, QByteArray& aside);
// Gives a file taken aside its name again; should the name be taken meanwhile, it keeps the
// private one (nothing is replaced).
void put_back(int dir, const QByteArray& aside, const QByteArray& name);

// Folders opened once for the requests of one command, so that each file is reached by its
// name in an open folder instead of a walk along its whole path.
class FolderHandles final
{
public:
    struct Folder
    {
        int fd = -1;
        struct stat st
        {};
        bool valid() const { return fd >= 0; }
    };
    // The folder at path (of any length), opened at its first use. The handle stays valid
    // until trim() or clear().
    Folder get(const QByteArray& path);
    // Closes all but a few when many are open; call it between requests only.
    void trim();
    void clear() { m_open.clear(); }

private:
    struct Open
    {
        Fd fd;
        struct stat st
        {};
    };
    std::map<QByteArray, Open> m_open;
};

// The file systems a command changed, each synced once (syncfs) before it may report success.
class SyncSet final
{
public:
    using SyncFn = std::function<int(int fd)>;
    SyncSet();
    // Remembers the file system of fd (a folder or file on it), dev being its device.
    void add(int fd, dev_t dev);
    bool empty() const { return m_fs.empty(); }
    // Syncs each file system remembered and forgets them; false when a sync failed.
    bool sync_all();
    // Tests stand in a failing sync here.
    void set_sync(SyncFn fn) { m_sync = std::move(fn); }

private:
    std::map<dev_t, Fd> m_fs;
    SyncFn m_sync;
    bool m_failed = false;
};

// fsync of a folder, so the names written in it are on disk.
bool sync_folder(const QByteArray& folder);

} // namespace pelmora::posix
