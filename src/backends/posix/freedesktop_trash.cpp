// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/posix/freedesktop_trash.h"

#include "backends/posix/long_path.h"
#include "backends/posix/posix_io.h"
#include "base/native_path.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {

namespace {

using posix::Fd;

struct TrashFolder
{
    QByteArray root;   // holds files/ and info/
    QByteArray topdir; // empty for the home trash, whose entries store absolute paths
};

bool is_plain_folder(const QByteArray& path, struct stat& st)
{
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Makes folder (0700) when missing; true when it is then a folder that is not a link.
bool ensure_folder(const QByteArray& path)
{
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st
    {};
    return is_plain_folder(path, st);
}

// Creates every missing folder on the way to path, each 0700, as the home trash wants.
bool ensure_folder_path(const QByteArray& path)
{
    for (qsizetype i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path.at(i) == '/') {
            const QByteArray part = path.left(i);
            if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
                return false;
        }
    }
    struct stat st
    {};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ensure_subfolders(const QByteArray& root)
{
    return ensure_folder(root + "/files") && ensure_folder(root + "/info");
}

// The real path of the folder holding path (the file itself is not followed: it may be a
// link, and a link is trashed as the link).
QByteArray real_parent(const QByteArray& path)
{
    return posix::real_folder(posix::parent_of(path));
}

// The mount point of the file system that holds folder: the highest folder above it that is
// still on the same device.
QByteArray top_directory(const QByteArray& folder, dev_t dev)
{
    QByteArray top = folder;
    while (top != "/") {
        const QByteArray up = posix::parent_of(top);
        struct stat st
        {};
        if (!posix::stat_path(up, st, true) || st.st_dev != dev)
            break;
        top = up;
    }
    return top;
}

QByteArray joined(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// The device the home trash is (or will be) on: that of its nearest existing folder.
dev_t home_trash_device(const QByteArray& home)
{
    QByteArray p = home;
    for (;;) {
        struct stat st
        {};
        if (::stat(p.constData(), &st) == 0)
            return st.st_dev;
        if (p == "/" || p == ".")
            return dev_t(-1);
        p = posix::parent_of(p);
    }
}

std::optional<TrashFolder> trash_for(const QByteArray& path, dev_t dev)
{
    // Files on the home trash's file system go there, or nowhere.
    const QByteArray home = home_trash_folder();
    if (home_trash_device(home) == dev) {
        if (ensure_folder_path(posix::parent_of(home)) && ensure_folder(home) &&
            ensure_subfolders(home))
            return TrashFolder{home, {}};
        return std::nullopt;
    }

    const QByteArray parent = real_parent(path);
    if (parent.isEmpty())
        return std::nullopt;
    const QByteArray top = top_directory(parent, dev);
    const QByteArray uid = QByteArray::number(::getuid());

    // The administrator's shared trash: a sticky folder, not a link, on this file system.
    const QByteArray shared = joined(top, ".Trash");
    struct stat sh
    {};
    if (is_plain_folder(shared, sh) && (sh.st_mode & S_ISVTX) != 0 && sh.st_dev == dev) {
        const QByteArray mine = shared + '/' + uid;
        struct stat ms
        {};
        if (ensure_folder(mine) && is_plain_folder(mine, ms) && ms.st_uid == ::getuid() &&
            ensure_subfolders(mine))
            return TrashFolder{mine, top};
    }

    // The user's own trash on this mount.
    const QByteArray own = joined(top, ".Trash-" + uid);
    struct stat os
    {};
    if (ensure_folder(own) && is_plain_folder(own, os) && os.st_uid == ::getuid() &&
        os.st_dev == dev && ensure_subfolders(own))
        return TrashFolder{own, top};
    return std::nullopt;
}

// name, name.2, name.3 ... keeping the extension last: a.xls, a.2.xls.
QByteArray candidate_name(const QByteArray& name, int n)
{
    if (n == 1)
        return name;
    const qsizetype dot = name.lastIndexOf('.');
    const QByteArray number = '.' + QByteArray::number(n);
    if (dot <= 0)
        return name + number;
    return name.left(dot) + number + name.mid(dot);
}

bool write_all(int fd, const QByteArray& data)
{
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, std::size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

QByteArray home_trash_folder()
{
    QByteArray data = qgetenv("XDG_DATA_HOME");
    if (data.isEmpty() || !data.startsWith('/'))
        data = qgetenv("HOME") + "/.local/share";
    while (data.size() > 1 && data.endsWith('/'))
        data.chop(1);
    return data + "/Trash";
}

QByteArray percent_encoded(const QByteArray& path)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(path.size());
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        const bool keep = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
                          (b >= '0' && b <= '9') || b == '-' || b == '.' || b == '_' || b == '~' ||
                          b == '/';
        if (keep) {
            out.append(c);
        } else {
            out.append('%');
            out.append(hex[b >> 4]);
            out.append(hex[b & 0xF]);
        }
    }
    return out;
}

std::optional<TrashedFile> FreedesktopTrash::trash(const QString& path)
{
    const QByteArray bytes = native_path::to_native(path);
    struct stat st
    {};
    if (bytes.isEmpty() || !posix::stat_path(bytes, st, false))
        return std::nullopt;
    const std::optional<TrashFolder> folder = trash_for(bytes, st.st_dev);
    if (!folder)
        return std::nullopt;

    // The path stored: absolute for the home trash, relative to the mount otherwise.
    QByteArray absolute = real_parent(bytes);
    if (absolute.isEmpty())
        return std::nullopt;
    absolute = joined(absolute, posix::name_of(bytes));
    QByteArray stored = absolute;
    if (!folder->topdir.isEmpty()) {
        const QByteArray prefix =
            folder->topdir.endsWith('/') ? folder->topdir : folder->topdir + '/';
        if (absolute.startsWith(prefix))
            stored = absolute.mid(prefix.size());
    }
    const QByteArray date = m_now().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1();
    const QByteArray info_text =
        "[Trash Info]\nPath=" + percent_encoded(stored) + "\nDeletionDate=" + date + '\n';

    const QByteArray name = posix::name_of(bytes);
    for (int n = 1; n < 10000; ++n) {
        const QByteArray candidate = candidate_name(name, n);
        const QByteArray info = folder->root + "/info/" + candidate + ".trashinfo";
        const QByteArray file = folder->root + "/files/" + candidate;
        // The info entry claims the name; whoever creates it first owns it.
        const posix::AtPath info_at(info);
        Fd fd(
            ::openat(info_at.dir(), info_at.name(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd.valid()) {
            if (errno == EEXIST)
                continue;
            return std::nullopt;
        }
        if (!write_all(fd.get(), info_text) || ::fsync(fd.get()) != 0 || !fd.close_checked()) {
            posix::unlink_path(info);
            return std::nullopt;
        }
        if (posix::rename_no_replace(bytes.constData(), file.constData()) == 0) {
            posix::sync_folder(folder->root + "/files");
            return TrashedFile{path, native_path::from_native(file),
                               native_path::from_native(info)};
        }
        const int err = errno;
        posix::unlink_path(info);
        if (err != EEXIST)
            return std::nullopt; // across devices, no permission: the file stays
    }
    return std::nullopt;
}

bool FreedesktopTrash::restore(const TrashedFile& entry)
{
    if (!entry.isValid())
        return false;
    const QByteArray file = native_path::to_native(entry.file);
    const QByteArray original = native_path::to_native(entry.original);
    if (posix::rename_no_replace(file.constData(), original.constData()) != 0)
        return false;
    posix::unlink_path(native_path::to_native(entry.info));
    return true;
}

} // namespace pelmora
