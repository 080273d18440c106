// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/posix/posix_file_system.h"

#include "backends/posix/long_path.h"
#include "backends/posix/posix_io.h"
#include "base/native_path.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {

using posix::Fd;

namespace {

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
        entries.push_back(ListedName{Path(native_path::from_native(name)), kind});
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

bool PosixFileSystem::make_folder(const Path& path)
{
    const posix::AtPath at(path.bytes());
    return ::mkdirat(at.dir(), at.name(), 0777) == 0;
}

bool PosixFileSystem::remove_file(const Path& path)
{
    return posix::unlink_path(path.bytes()) == 0;
}

} // namespace pelmora
