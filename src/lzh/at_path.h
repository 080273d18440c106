// SPDX-License-Identifier: GPL-3.0-or-later
// Files of the archiver by paths of any length. The kernel refuses a path of PATH_MAX bytes
// or more, yet folders nest deeper than that: such a path is reached through a descriptor of
// its folder, opened a few components at a time, and its last name. Shorter paths go to the
// kernel whole.
#pragma once

#include <QByteArray>
#include <sys/stat.h>

namespace pelmora {

class AtPath final
{
public:
    explicit AtPath(const QByteArray& path);
    ~AtPath();
    AtPath(const AtPath&) = delete;
    AtPath& operator=(const AtPath&) = delete;

    // The folder for the *at() call: AT_FDCWD for a short path, -1 when the folder of a long
    // one could not be opened (the call then fails with EBADF, errno tells why here).
    int dir() const { return m_dir; }
    // The name relative to dir(): the whole path when short, the last component when long.
    const char* name() const { return m_name.constData(); }

private:
    int m_folder = -1;
    int m_dir;
    QByteArray m_name;
};

// open() of a path of any length (O_CLOEXEC is added).
int open_at_path(const QByteArray& path, int flags);
// stat() of a path of any length, following links.
bool stat_at_path(const QByteArray& path, struct stat& st);
// Whether this process may read the file at path (any length).
bool readable_at_path(const QByteArray& path);

} // namespace pelmora
