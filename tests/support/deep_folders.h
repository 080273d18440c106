// SPDX-License-Identifier: GPL-3.0-or-later
// A chain of nested folders whose full path is longer than PATH_MAX, for tests on files the
// kernel cannot reach by their whole path. The files in the deepest folder are read and
// written through a descriptor of that folder; the chain is removed the same way.
#pragma once

#include "raw_file.h"

#include <QByteArray>
#include <QStringList>
#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora::test {

class DeepFolders final
{
public:
    // Makes levels folders of 20-byte names below root (an existing folder, "/" at its end).
    explicit DeepFolders(const QByteArray& root, int levels = 300) : m_root(root)
    {
        int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        m_path = root;
        for (int level = 0; level < levels && fd >= 0; ++level) {
            const QByteArray name =
                "level" + QByteArray::number(level).rightJustified(3, '0') + "_abcdefghijkl";
            const int next = ::mkdirat(fd, name.constData(), 0755) == 0
                                 ? ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY)
                                 : -1;
            ::close(fd);
            fd = next;
            m_path += name + '/';
        }
        m_fd = fd;
    }
    ~DeepFolders()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        const int top = ::open(m_root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (top >= 0) {
            remove_tree_at(top, "level000_abcdefghijkl");
            ::close(top);
        }
    }
    DeepFolders(const DeepFolders&) = delete;
    DeepFolders& operator=(const DeepFolders&) = delete;

    bool isValid() const { return m_fd >= 0; }
    // The deepest folder's path, "/" at its end.
    QByteArray path() const { return m_path; }

    bool write(const QByteArray& name, const QByteArray& content) const
    {
        const int fd =
            ::openat(m_fd, name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return false;
        const bool ok = ::write(fd, content.constData(), std::size_t(content.size())) ==
                        ssize_t(content.size());
        return ::close(fd) == 0 && ok;
    }
    QByteArray read(const QByteArray& name) const
    {
        return read_fd_all(::openat(m_fd, name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    }
    bool stat(const QByteArray& name, struct stat& st) const
    {
        return ::fstatat(m_fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    }
    // Every name in the deepest folder, hidden ones included, sorted.
    QList<QByteArray> names() const
    {
        QList<QByteArray> out;
        DIR* d = ::fdopendir(::dup(m_fd));
        if (!d)
            return out;
        ::rewinddir(d);
        while (const dirent* e = ::readdir(d)) {
            const QByteArray n(e->d_name);
            if (n != "." && n != "..")
                out.append(n);
        }
        ::closedir(d);
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    static bool remove_tree_at(int parent, const char* name)
    {
        const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return false;
        DIR* d = ::fdopendir(fd);
        if (!d) {
            ::close(fd);
            return false;
        }
        QList<QByteArray> files;
        QList<QByteArray> folders;
        while (const dirent* e = ::readdir(d)) {
            const QByteArray n(e->d_name);
            if (n != "." && n != "..")
                (e->d_type == DT_DIR ? folders : files).append(n);
        }
        for (const QByteArray& n : files)
            ::unlinkat(fd, n.constData(), 0);
        for (const QByteArray& n : folders)
            remove_tree_at(fd, n.constData());
        ::closedir(d);
        return ::unlinkat(parent, name, AT_REMOVEDIR) == 0;
    }

    QByteArray m_root;
    QByteArray m_path;
    int m_fd = -1;
};

} // namespace pelmora::test
