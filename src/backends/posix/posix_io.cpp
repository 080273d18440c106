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

int rename_at_no_replace(int from_dir, const char* from, int to_dir, const char* to)
{
    if (::renameat2(from_dir, from, to_dir, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    // The file system has no atomic form: a hard link fails on an existing target too.
    if (::linkat(from_dir, from, to_dir, to, 0) == 0) {
        ::unlinkat(from_dir, from, 0);
        return 0;
    }
    if (errno == EEXIST || errno == EXDEV)
        return -1;
    // No hard links either (FAT and the like): test and rename, the narrowest window left.
    struct stat st
    {};
    if (::fstatat(to_dir, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::renameat(from_dir, from, to_dir, to);
}

int rename_no_replace(const char* from, const char* to)
{
    const AtPath a(from);
    const AtPath b(to);
    return rename_at_no_replace(a.dir(), a.name(), b.dir(), b.name());
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

bool same_state(const struct stat& a, const struct stat& b)
{
    return same_version(a, b) && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
           a.st_ctim.tv_nsec == b.st_ctim.tv_nsec && a.st_mode == b.st_mode &&
           a.st_uid == b.st_uid && a.st_gid == b.st_gid;
}

Fd open_entry(int dir, const char* name)
{
    return Fd(::openat(dir, name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
}

bool take_aside(int dir, const QByteArray& name, const struct stat& checked, QByteArray& aside)
{
    // A short name of our own: the file's name plus a prefix could pass NAME_MAX.
    aside = ".pelmora-aside-" + QByteArray::number(::getpid()) + '-' +
            QByteArray::number(QRandomGenerator::global()->generate(), 36);
    struct stat now
    {};
    return rename_checked(dir, name.constData(), dir, aside.constData(), checked, now) ==
           CheckedRename::Done;
}

CheckedRename rename_checked(int from_dir, const char* from, int to_dir, const char* to,
                             const struct stat& checked, struct stat& landed,
                             const RenameAt& rename)
{
    if (rename(from_dir, from, to_dir, to) != 0)
        return CheckedRename::Refused;
    if (::fstatat(to_dir, to, &landed, AT_SYMLINK_NOFOLLOW) == 0 && same_version(checked, landed))
        return CheckedRename::Done;
    rename_at_no_replace(to_dir, to, from_dir, from);
    return CheckedRename::PutBack;
}

void put_back(int dir, const QByteArray& aside, const QByteArray& name)
{
    rename_at_no_replace(dir, aside.constData(), dir, name.constData());
}

FolderHandles::Folder FolderHandles::get(const QByteArray& path)
{
    const auto it = m_open.find(path);
    if (it != m_open.end())
        return Folder{it->second.fd.get(), it->second.st};
    Open o{open_folder(path, O_RDONLY), {}};
    if (!o.fd.valid() || ::fstat(o.fd.get(), &o.st) != 0)
        return {};
    const Folder f{o.fd.get(), o.st};
    m_open.emplace(path, std::move(o));
    return f;
}

void FolderHandles::trim()
{
    // Files marked all over a drive each bring their own folder: keep the descriptors few.
    if (m_open.size() > 32)
        m_open.clear();
}

SyncSet::SyncSet() : m_sync([](int fd) { return ::syncfs(fd); }) {}

void SyncSet::add(int fd, dev_t dev)
{
    if (fd < 0 || m_fs.count(dev))
        return;
    Fd own(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    if (own.valid())
        m_fs.emplace(dev, std::move(own));
    else
        m_failed = true; // a file system that cannot be synced cannot be reported durable
}

bool SyncSet::sync_all()
{
    bool ok = !m_failed;
    m_failed = false;
    for (const auto& [dev, fd] : m_fs)
        ok = m_sync(fd.get()) == 0 && ok;
    m_fs.clear();
    return ok;
}

bool sync_folder(const QByteArray& folder)
{
    const Fd fd = open_folder(folder, O_RDONLY);
    return fd.valid() && ::fsync(fd.get()) == 0;
}

} // namespace pelmora::posix
