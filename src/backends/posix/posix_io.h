// SPDX-License-Identifier: GPL-3.0-or-later
// Small POSIX helpers shared by the shell layer and the trash: an owned descriptor, a rename
// that never replaces what stands at the target, and path splitting on bytes.
#pragma once

#include <QByteArray>
#include <functional>
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

// Removes the file at path only when check passes for the file standing there. The name is
// first moved aside to a hidden name beside it, so the file checked is the file removed even
// while other programs save under the name; a file that fails the check, or cannot be
// removed, goes back under its name (or keeps the hidden one, should the name be taken
// again meanwhile). remove_fn does the final unlink (tests stand in failures there).
bool remove_checked(const QByteArray& path, const std::function<bool(const struct stat&)>& check,
                    const std::function<int(const char*)>& remove_fn);

// fsync of a folder, so the names written in it are on disk.
bool sync_folder(const QByteArray& folder);

} // namespace pelmora::posix
