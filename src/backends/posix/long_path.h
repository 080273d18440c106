// SPDX-License-Identifier: GPL-3.0-or-later
// Paths of any length for the *at() system calls. The kernel refuses a path of PATH_MAX bytes
// or more, yet folders nest deeper than that: such a path is reached through a descriptor of
// its folder, opened a few components at a time, and the last name. Shorter paths go to the
// kernel whole, as they always did.
#pragma once

#include "backends/posix/posix_io.h"

#include <QByteArray>
#include <fcntl.h>
#include <sys/stat.h>

namespace pelmora::posix {

class AtPath final
{
public:
    explicit AtPath(const QByteArray& path);

    // The folder descriptor for the *at() call: AT_FDCWD for a short path, -1 when the folder
    // of a long path could not be opened (the call then fails with EBADF).
    int dir() const { return m_dir; }
    // The name relative to dir(): the whole path when short, the last component when long.
    const char* name() const { return m_name.constData(); }

private:
    Fd m_folder;
    int m_dir = AT_FDCWD;
    QByteArray m_name;
};

// fstatat on a path of any length; follow = false looks at a link itself (lstat).
bool stat_path(const QByteArray& path, struct stat& st, bool follow);
// unlink on a path of any length.
int unlink_path(const QByteArray& path);
// Opens a folder of any length (O_DIRECTORY and O_CLOEXEC are added to flags).
Fd open_folder(const QByteArray& path, int flags);
// The real path of a folder of any length: links, "." and ".." resolved. Empty when a link
// lies beyond the part the kernel can resolve at once, or on any error.
QByteArray real_folder(const QByteArray& path);

} // namespace pelmora::posix
