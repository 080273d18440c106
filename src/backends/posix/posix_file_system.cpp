// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/posix/posix_file_system.h"

#include "backends/posix/long_path.h"
#include "backends/posix/posix_copy.h"
#include "backends/posix/posix_io.h"
#include "base/native_path.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {

namespace {

using native_path::to_native;
using posix::Fd;

// Copies from into a new file to (which must not exist), synced.
bool copy_new_bytes(const QByteArray& from, const QByteArray& to)
{
    const posix::AtPath src(from);
    const Fd in(::openat(src.dir(), src.name(), O_RDONLY | O_CLOEXEC));
    if (!in.valid())
        return false;
    const posix::AtPath dst(to);
    Fd out(::openat(dst.dir(), dst.name(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.valid())
        return false;
    if (!copy_bytes(in.get(), out.get(), 0, nullptr) || ::fsync(out.get()) != 0 ||
        !out.close_checked()) {
        posix::unlink_path(to);
        return false;
    }
    return true;
}

// Rewrites to's own bytes from from, so its other hard links see the earlier bytes too.
bool rewrite_in_place(const QByteArray& from, const QByteArray& to)
{
    const posix::AtPath src(from);
    const posix::AtPath dst(to);
    const Fd in(::openat(src.dir(), src.name(), O_RDONLY | O_CLOEXEC));
    const Fd out(::openat(dst.dir(), dst.name(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st
    {};
    return in.valid() && out.valid() && ::fstat(in.get(), &st) == 0 &&
           copy_bytes(in.get(), out.get(), 0, nullptr) && ::ftruncate(out.get(), st.st_size) == 0 &&
           ::fsync(out.get()) == 0;
}

PathKind kind_of(mode_t mode)
{
    if (S_ISREG(mode))
        return PathKind::File;
    if (S_ISDIR(mode))
        return PathKind::Folder;
    if (S_ISLNK(mode))
        return PathKind::Link;
    return PathKind::Other;
}

FileIdentity identity_from(const struct stat& st)
{
    return FileIdentity{true, quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
                        qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

} // namespace

PathStat PosixFileSystem::stat(const Path& path, bool follow_links)
{
    struct stat st
    {};
    if (path.is_empty() || !posix::stat_path(path.bytes(), st, follow_links))
        return {};
    return PathStat{kind_of(st.st_mode), identity_from(st)};
}

// By the exact bytes: Qt's listing drops names that are not UTF-8.
std::vector<ListedName> PosixFileSystem::list(const Path& folder)
{
    const Fd fd = posix::open_folder(folder.bytes(), O_RDONLY);
    DIR* dir = fd.valid() ? ::fdopendir(::dup(fd.get())) : nullptr;
    if (!dir)
        return {};
    std::vector<ListedName> entries;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name(e->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat st
        {};
        PathKind kind = PathKind::Link;
        if (::fstatat(fd.get(), e->d_name, &st, 0) == 0)
            kind = kind_of(st.st_mode);
        else if (::fstatat(fd.get(), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue; // gone since it was read
        entries.push_back(ListedName{native_path::from_native(name), kind});
    }
    ::closedir(dir);
    return entries;
}

bool PosixFileSystem::opens_for_reading(const Path& path)
{
    if (path.is_empty())
        return false;
    const posix::AtPath at(path.bytes());
    // Non-blocking: a named pipe without a writer must not hold the dialog.
    const Fd fd(::openat(at.dir(), at.name(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st
    {};
    return fd.valid() && ::fstat(fd.get(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool PosixFileSystem::make_folder(const QString& path)
{
    const posix::AtPath at(to_native(path));
    return ::mkdirat(at.dir(), at.name(), 0777) == 0;
}

bool PosixFileSystem::remove_file(const QString& path)
{
    return posix::unlink_path(to_native(path)) == 0;
}

bool PosixFileSystem::copy_new(const QString& from, const QString& to)
{
    return copy_new_bytes(to_native(from), to_native(to));
}

// Writes a copy beside the target first and renames it into place, so the file is whole at
// every moment; the copy takes the target's mode and owner. A file with several hard links is
// rewritten in place instead, so that all of its names see the earlier bytes.
bool PosixFileSystem::copy_over(const QString& from_text, const QString& to_text)
{
    const QByteArray from = to_native(from_text);
    const QByteArray to = to_native(to_text);
    struct stat target
    {};
    if (!posix::stat_path(to, target, false) || !S_ISREG(target.st_mode))
        return false;
    if (target.st_nlink > 1)
        return rewrite_in_place(from, to);
    const QByteArray temp =
        posix::parent_of(to) + "/.pelmora-archive-" + QByteArray::number(::getpid()) + ".tmp";
    posix::unlink_path(temp);
    if (!copy_new_bytes(from, temp))
        return false;
    const posix::AtPath at(temp);
    const posix::AtPath dst(to);
    const bool owner_kept =
        (target.st_uid == ::geteuid() && target.st_gid == ::getegid()) ||
        ::fchownat(at.dir(), at.name(), target.st_uid, target.st_gid, AT_SYMLINK_NOFOLLOW) == 0 ||
        errno == EPERM;
    if (!owner_kept || ::fchmodat(at.dir(), at.name(), target.st_mode & 07777, 0) != 0 ||
        ::renameat(at.dir(), at.name(), dst.dir(), dst.name()) != 0) {
        posix::unlink_path(temp);
        return false;
    }
    posix::sync_folder(posix::parent_of(to));
    return true;
}

} // namespace pelmora
