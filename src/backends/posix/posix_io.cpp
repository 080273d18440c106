// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/posix/posix_io.h"

#include "backends/posix/long_path.h"

#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora::posix {

void Fd::reset()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool Fd::close_checked()
{
    return ::close(release()) == 0;
}

int rename_no_replace(const char* from, const char* to)
{
    const AtPath a(from);
    const AtPath b(to);
    if (::renameat2(a.dir(), a.name(), b.dir(), b.name(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    // The file system has no atomic form: a hard link fails on an existing target too.
    if (::linkat(a.dir(), a.name(), b.dir(), b.name(), 0) == 0) {
        ::unlinkat(a.dir(), a.name(), 0);
        return 0;
    }
    if (errno == EEXIST || errno == EXDEV)
        return -1;
    // No hard links either (FAT and the like): test and rename, the narrowest window left.
    struct stat st
    {};
    if (::fstatat(b.dir(), b.name(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::renameat(a.dir(), a.name(), b.dir(), b.name());
}

QByteArray parent_of(const QByteArray& path)
{
    const qsizetype cut = path.lastIndexOf('/');
    if (cut < 0)
        return QByteArrayLiteral(".");
    if (cut == 0)
        return QByteArrayLiteral("/");
    return path.left(cut);
}

QByteArray name_of(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

bool removable(const QByteArray& path)
{
    const QByteArray folder = parent_of(path);
    const AtPath at(folder);
    if (::faccessat(at.dir(), at.name(), W_OK | X_OK, AT_EACCESS) != 0)
        return false;
    struct stat dir
    {};
    struct stat file
    {};
    if (!stat_path(folder, dir, true) || !stat_path(path, file, false))
        return false;
    if ((dir.st_mode & S_ISVTX) == 0)
        return true;
    // In a sticky folder only the file's owner, the folder's owner or root may remove it.
    const uid_t me = ::geteuid();
    return me == 0 || file.st_uid == me || dir.st_uid == me;
}

bool same_version(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

bool remove_checked(const QByteArray& path, const std::function<bool(const struct stat&)>& check,
                    const std::function<int(const char*)>& remove_fn)
{
    // A short name of our own: the file's name plus a prefix could pass NAME_MAX.
    const QByteArray aside = parent_of(path) + "/.pelmora-removing-" +
                             QByteArray::number(::getpid()) + '-' +
                             QByteArray::number(QRandomGenerator::global()->generate(), 36);
    if (rename_no_replace(path.constData(), aside.constData()) != 0)
        return false;
    struct stat now
    {};
    if (stat_path(aside, now, false) && check(now) && remove_fn(aside.constData()) == 0) {
        sync_folder(parent_of(path));
        return true;
    }
    rename_no_replace(aside.constData(), path.constData());
    return false;
}

bool sync_folder(const QByteArray& folder)
{
    const Fd fd = open_folder(folder, O_RDONLY);
    return fd.valid() && ::fsync(fd.get()) == 0;
}

} // namespace pelmora::posix
