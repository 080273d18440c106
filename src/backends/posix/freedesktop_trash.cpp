// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/posix/freedesktop_trash.h"

#include "backends/posix/long_path.h"
#include "backends/posix/posix_io.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

struct FreedesktopTrash::Folder
{
    TrashFolder where;
    Fd root;
    Fd files;
    Fd info;
    Fd marker; // names the info entry being written
    dev_t dev = 0;
};

namespace {

const QByteArray kMarkerPrefix = QByteArrayLiteral(".pelmora-trashing-");

QByteArray own_marker()
{
    return kMarkerPrefix + QByteArray::number(::getpid());
}

bool process_gone(long pid)
{
    return pid != ::getpid() && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

// Drops an info entry whose file did not arrive (or came back); one retry, since an entry
// without its file is a trash entry nobody can restore.
bool drop_info(int info_dir, const QByteArray& name)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (::unlinkat(info_dir, name.constData(), 0) == 0 || errno == ENOENT)
            return true;
    }
    return false;
}

// A run killed between writing an info entry and moving its file left the entry alone. Its
// marker, whose process is gone, names the entry it was writing: that entry goes when its
// file never arrived.
void clear_interrupted_in(const Fd& root, const Fd& files, const Fd& info)
{
    DIR* dir = ::fdopendir(::fcntl(root.get(), F_DUPFD_CLOEXEC, 0));
    if (!dir)
        return;
    std::vector<QByteArray> stale;
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        bool ok = false;
        const long pid = name.mid(kMarkerPrefix.size()).toLong(&ok);
        if (name.startsWith(kMarkerPrefix) && ok && pid > 0 && process_gone(pid))
            stale.push_back(name);
    }
    ::closedir(dir);
    const QByteArray suffix = QByteArrayLiteral(".trashinfo");
    for (const QByteArray& marker : stale) {
        const Fd fd(::openat(root.get(), marker.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        struct stat st
        {};
        if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || st.st_uid != ::geteuid())
            continue;
        char buf[NAME_MAX + 2] = {};
        const ssize_t n = ::pread(fd.get(), buf, sizeof buf - 1, 0);
        const QByteArray record(buf, n > 0 ? n : 0);
        const QByteArray entry = record.left(record.indexOf('\n'));
        struct stat file
        {};
        if (entry.endsWith(suffix) && !entry.contains('/') &&
            ::fstatat(files.get(), entry.chopped(suffix.size()).constData(), &file,
                      AT_SYMLINK_NOFOLLOW) != 0 &&
            errno == ENOENT)
            drop_info(info.get(), entry);
        ::unlinkat(root.get(), marker.constData(), 0);
    }
}

// The trash folder and its two parts, none of them reached through a link.
bool open_trash(const QByteArray& root, Fd& top, Fd& files, Fd& info)
{
    top = posix::open_folder(root, O_RDONLY | O_NOFOLLOW);
    files = posix::open_folder(root + "/files", O_RDONLY | O_NOFOLLOW);
    info = posix::open_folder(root + "/info", O_RDONLY | O_NOFOLLOW);
    return top.valid() && files.valid() && info.valid();
}

} // namespace

void FreedesktopTrash::clear_interrupted(const QByteArray& root)
{
    Fd top;
    Fd files;
    Fd info;
    if (open_trash(root, top, files, info))
        clear_interrupted_in(top, files, info);
}

FreedesktopTrash::FreedesktopTrash() = default;
FreedesktopTrash::~FreedesktopTrash()
{
    end_command();
}

void FreedesktopTrash::begin_command(posix::FolderHandles* folders, posix::SyncSet* syncs)
{
    end_command();
    m_handles = folders;
    m_syncs = syncs;
}

void FreedesktopTrash::end_command()
{
    for (const auto& [dev, folder] : m_folders)
        ::unlinkat(folder->root.get(), own_marker().constData(), 0);
    m_folders.clear();
    m_real_parents.clear();
    m_handles = nullptr;
    m_syncs = nullptr;
}

FreedesktopTrash::Folder* FreedesktopTrash::folder_for(const QByteArray& path, dev_t dev)
{
    const auto it = m_folders.find(dev);
    if (it != m_folders.end())
        return it->second.get();
    const std::optional<TrashFolder> where = trash_for(path, dev);
    if (!where)
        return nullptr;
    auto f = std::make_unique<Folder>();
    f->where = *where;
    f->dev = dev;
    if (!open_trash(where->root, f->root, f->files, f->info))
        return nullptr;
    clear_interrupted_in(f->root, f->files, f->info);
    // The marker stands while this process may write entries here.
    f->marker = Fd(::openat(f->root.get(), own_marker().constData(),
                            O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!f->marker.valid())
        return nullptr;
    return m_folders.emplace(dev, std::move(f)).first->second.get();
}

std::optional<TrashedFile> FreedesktopTrash::trash(const Path& path)
{
    if (m_handles && m_syncs)
        return trash_now(path);
    // A request of its own: on disk before it returns, or undone.
    posix::FolderHandles folders;
    posix::SyncSet syncs;
    begin_command(&folders, &syncs);
    std::optional<TrashedFile> t = trash_now(path);
    const bool durable = syncs.sync_all();
    end_command();
    if (t && !durable) {
        restore(*t);
        return std::nullopt;
    }
    return t;
}

std::optional<TrashedFile> FreedesktopTrash::trash_now(const Path& path)
{
    const QByteArray bytes = path.bytes();
    if (bytes.isEmpty())
        return std::nullopt;
    const QByteArray parent = posix::parent_of(bytes);
    const QByteArray name = posix::name_of(bytes);
    const posix::FolderHandles::Folder from = m_handles->get(parent);
    struct stat st
    {};
    if (!from.valid() || ::fstatat(from.fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    Folder* folder = folder_for(bytes, st.st_dev);
    if (!folder)
        return std::nullopt;

    // The path stored: absolute for the home trash, relative to the mount otherwise.
    auto real = m_real_parents.find(parent);
    if (real == m_real_parents.end())
        real = m_real_parents.emplace(parent, real_parent(bytes)).first;
    if (real->second.isEmpty())
        return std::nullopt;
    const QByteArray absolute = joined(real->second, name);
    QByteArray stored = absolute;
    const QByteArray& topdir = folder->where.topdir;
    if (!topdir.isEmpty()) {
        const QByteArray prefix = topdir.endsWith('/') ? topdir : topdir + '/';
        if (absolute.startsWith(prefix))
            stored = absolute.mid(prefix.size());
    }
    const QByteArray date = m_now().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1();
    const QByteArray info_text =
        "[Trash Info]\nPath=" + percent_encoded(stored) + "\nDeletionDate=" + date + '\n';

    for (int n = 1; n < 10000; ++n) {
        const QByteArray candidate = candidate_name(name, n);
        const QByteArray info_name = candidate + ".trashinfo";
        const QByteArray record = info_name + '\n';
        if (::pwrite(folder->marker.get(), record.constData(), std::size_t(record.size()), 0) !=
            record.size())
            return std::nullopt;
        // The info entry claims the name; whoever creates it first owns it.
        Fd fd(::openat(folder->info.get(), info_name.constData(),
                       O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd.valid()) {
            if (errno == EEXIST)
                continue;
            return std::nullopt;
        }
        if (!write_all(fd.get(), info_text) || !fd.close_checked()) {
            drop_info(folder->info.get(), info_name);
            return std::nullopt;
        }
        if (m_before_move)
            m_before_move(bytes);
        if (posix::rename_at_no_replace(from.fd, name.constData(), folder->files.get(),
                                        candidate.constData()) == 0) {
            m_syncs->add(folder->files.get(), folder->dev);
            const QByteArray& root = folder->where.root;
            return TrashedFile{path, Path::from_bytes(root + "/files/" + candidate),
                               Path::from_bytes(root + "/info/" + info_name)};
        }
        const int err = errno;
        drop_info(folder->info.get(), info_name);
        if (err != EEXIST)
            return std::nullopt; // across devices, no permission: the file stays
    }
    return std::nullopt;
}

bool FreedesktopTrash::restore(const TrashedFile& entry, posix::SyncSet* syncs)
{
    if (!entry.isValid())
        return false;
    const QByteArray file = entry.file.bytes();
    const QByteArray original = entry.original.bytes();
    if (posix::rename_no_replace(file.constData(), original.constData()) != 0)
        return false;
    // Only once the file is back: its entry was all the desktop had to restore it by.
    const QByteArray info = entry.info.bytes();
    const Fd info_dir = posix::open_folder(posix::parent_of(info), O_RDONLY);
    const bool dropped = info_dir.valid() && drop_info(info_dir.get(), posix::name_of(info));
    const Fd back = posix::open_folder(posix::parent_of(original), O_RDONLY);
    struct stat st
    {};
    if (!back.valid() || ::fstat(back.get(), &st) != 0)
        return false;
    if (syncs) {
        syncs->add(back.get(), st.st_dev);
        return dropped;
    }
    return ::syncfs(back.get()) == 0 && dropped;
}

} // namespace pelmora
