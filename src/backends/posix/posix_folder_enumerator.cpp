// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/posix/posix_folder_enumerator.h"

#include "base/unique_fd.h"

#include <algorithm>
#include <cstddef>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace pelmora {
namespace {

constexpr std::size_t kBufferSize = std::size_t{64} * 1024;
// Room for the entries of most folders a scan keeps at once: growing from one by doubling
// costs several allocations per folder.
constexpr std::size_t kFirstEntries = 16;

using Fd = UniqueFd;

bool is_dot_or_dotdot(const char* n)
{
    return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
}

unsigned char resolve_unknown_type(int dirFd, const char* name)
{
    // Some file systems leave the type out of the entry; ask for this one only.
    struct stat st
    {};
    if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return DT_UNKNOWN;
    if (S_ISLNK(st.st_mode))
        return DT_LNK;
    return S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
}

// The read-only bit is not reported: the folder test clears it and nothing else reads it,
// while finding it out would cost a system call per entry.
std::uint32_t attributes_of(unsigned char type, const char* name)
{
    std::uint32_t a = 0;
    if (type == DT_DIR)
        a = attr::Directory;
    else if (type == DT_LNK)
        a = attr::Link;
    if (name[0] == '.')
        a |= attr::Hidden;
    return a;
}

std::string decode_octal_escapes(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            const std::string digits = s.substr(i + 1, 3);
            if (digits.size() == 3 && digits.find_first_not_of("01234567") == std::string::npos) {
                out.push_back(char(std::stoi(digits, nullptr, 8)));
                i += 3;
                continue;
            }
        }
        out.push_back(s[i]);
    }
    return out;
}

std::string without_trailing_slash(std::string p)
{
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

std::set<std::string> mounts_below(const std::string& root, const std::set<std::string>& all)
{
    const std::string r = without_trailing_slash(root);
    const std::string prefix = r == "/" ? r : r + '/';
    std::set<std::string> below;
    for (const std::string& m : all) {
        if (m != r && m.compare(0, prefix.size(), prefix) == 0)
            below.insert(m);
    }
    return below;
}

std::set<std::string> read_mount_points()
{
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    return mount_points_from_mountinfo(text.str());
}

std::string real_root(const std::string& root)
{
    char* resolved = realpath(root.c_str(), nullptr);
    if (!resolved)
        return root;
    std::string r(resolved);
    free(resolved);
    return r;
}

} // namespace

std::set<std::string> mount_points_from_mountinfo(const std::string& text)
{
    std::set<std::string> points;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string id, parent, devno, fsroot, mountPoint;
        if (fields >> id >> parent >> devno >> fsroot >> mountPoint)
            points.insert(without_trailing_slash(decode_octal_escapes(mountPoint)));
    }
    return points;
}

PosixFolderEnumerator::PosixFolderEnumerator(std::string root)
    : PosixFolderEnumerator(std::move(root), {})
{
    // Mount points are named by their real paths, while the root may be reached through a
    // link: name them below the root as the scan does.
    const std::string real = without_trailing_slash(real_root(m_root));
    const std::string named = without_trailing_slash(m_root);
    const std::string prefix = named == "/" ? std::string() : named;
    for (const std::string& m : mounts_below(real, read_mount_points()))
        m_mountsBelowRoot.insert(prefix + (real == "/" ? m : m.substr(real.size())));
    struct statfs fs
    {};
    if (::statfs(m_root.c_str(), &fs) == 0)
        m_readerBound = reader_bound_for(long(fs.f_type));
}

int reader_bound_for(long fsType)
{
    // statfs types of network and FUSE file systems (linux/magic.h and the cifs client).
    constexpr long kFarAway[] = {
        0x6969,           // NFS
        0x517B,           // SMB
        long(0xFF534D42), // CIFS
        long(0xFE534D42), // SMB2
        0x65735546,       // FUSE (sshfs, rclone, a share mounted by the desktop)
        0x01021997,       // 9P
        0x00C36400,       // Ceph
        0x5346414F,       // AFS
        0x73757245,       // Coda
        0x564C,           // NCP
    };
    return std::find(std::begin(kFarAway), std::end(kFarAway), fsType) != std::end(kFarAway)
               ? 0
               : kLocalReaders;
}

PosixFolderEnumerator::PosixFolderEnumerator(std::string root,
                                             const std::set<std::string>& mountPoints)
    : m_root(std::move(root)), m_mountsBelowRoot(mounts_below(m_root, mountPoints))
{
    struct stat st
    {};
    m_rootValid = stat(m_root.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixFolderEnumerator::is_other_mount(const std::string& folder) const
{
    return !m_mountsBelowRoot.empty() && m_mountsBelowRoot.count(without_trailing_slash(folder));
}

namespace {

// Folders deeper than this keep a descriptor only at every kAnchorEvery-th level; the ones
// between are reached from the nearest such anchor by names, so a walk of any depth holds a
// bounded number of descriptors.
constexpr int kHeldDepth = 256;
constexpr int kAnchorEvery = 32;

class PosixOpenFolder final : public OpenFolder
{
public:
    ~PosixOpenFolder() override
    {
        if (fd >= 0)
            close(fd);
    }
    int fd = -1;
    int depth = 0;
    // Without a descriptor of its own: the anchor and the names that lead from it here.
    std::shared_ptr<const PosixOpenFolder> anchor;
    std::vector<std::string> fromAnchor;
};

constexpr int kSubfolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;

std::string without_nul(std::string_view name)
{
    return std::string(name.substr(0, name.find('\0')));
}

// Opens the subfolder `name` of an open folder, never through a link.
int open_child(const PosixOpenFolder& parent, const std::string& name)
{
    if (parent.fd >= 0)
        return openat(parent.fd, name.c_str(), kSubfolderFlags);
    int at = parent.anchor->fd;
    int owned = -1;
    for (const std::string& step : parent.fromAnchor) {
        const int next = openat(at, step.c_str(), kSubfolderFlags);
        if (owned >= 0)
            close(owned);
        if (next < 0)
            return -1;
        at = owned = next;
    }
    const int fd = openat(at, name.c_str(), kSubfolderFlags);
    if (owned >= 0)
        close(owned);
    return fd;
}

// Reads the entries of an open folder in the order the file system returns them: all, or
// those the filter keeps.
ListResult read_entries(int fd, std::vector<FolderEntry>& out, const EntryFilter* filter = nullptr)
{
    bool any = false;
    thread_local std::vector<char> buffer(kBufferSize);
    for (;;) {
        const ssize_t n = getdents64(fd, buffer.data(), buffer.size());
        if (n < 0)
            return any ? ListResult::Ok : ListResult::Unreadable;
        if (n == 0)
            return ListResult::Ok;
        for (ssize_t off = 0; off < n;) {
            const auto* e = reinterpret_cast<const dirent64*>(buffer.data() + off);
            off += e->d_reclen;
            if (is_dot_or_dotdot(e->d_name))
                continue;
            any = true;
            unsigned char type = e->d_type;
            if (type == DT_UNKNOWN)
                type = resolve_unknown_type(fd, e->d_name);
            const std::uint32_t attributes = attributes_of(type, e->d_name);
            const std::string_view name(e->d_name);
            if (filter && !filter->keep(name, attributes))
                continue;
            if (out.capacity() == 0)
                out.reserve(kFirstEntries);
            out.push_back(FolderEntry{std::string(name), attributes});
        }
    }
}

bool has_subfolder(const std::vector<FolderEntry>& entries)
{
    for (const FolderEntry& e : entries) {
        if (e.attributes & attr::Directory)
            return true;
    }
    return false;
}

} // namespace

ListResult PosixFolderEnumerator::list_folder(const std::string& path,
                                              std::vector<FolderEntry>& out)
{
    out.clear();
    if (!m_rootValid)
        return ListResult::Unreadable;
    if (path != m_root && is_other_mount(path))
        return ListResult::OtherFileSystem;
    // The root itself may be reached through a link (say /home -> /var/home); every folder
    // below it is opened without following one, so a swapped-in link cannot lead the scan out.
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (path == m_root ? 0 : O_NOFOLLOW);
    const Fd fd(open(path.c_str(), flags));
    if (fd.get() < 0)
        return ListResult::Unreadable;
    return read_entries(fd.get(), out);
}

ListResult PosixFolderEnumerator::read_folder(const OpenFolderRef& parentIn, std::string_view name,
                                              const std::string& path,
                                              std::vector<FolderEntry>& out, OpenFolderRef* keep,
                                              const EntryFilter* filter)
{
    out.clear();
    if (keep)
        keep->reset();
    if (!m_rootValid)
        return ListResult::Unreadable;
    // Not a counted copy: every reader touches its siblings' parent, and the caller holds it.
    const auto* parent = static_cast<const PosixOpenFolder*>(parentIn.get());
    if (parent && is_other_mount(path))
        return ListResult::OtherFileSystem;
    const std::string own = without_nul(name);
    Fd fd(parent ? open_child(*parent, own)
                 : open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0)
        return ListResult::Unreadable;
    const ListResult r = read_entries(fd.get(), out, filter);
    if (r != ListResult::Ok || !keep || !has_subfolder(out))
        return r; // closes the folder now
    // Only a folder with subfolders to open stays open: most folders have none.
    auto self = std::make_shared<PosixOpenFolder>();
    self->depth = parent ? parent->depth + 1 : 0;
    self->fd = fd.release();
    if (self->depth >= kHeldDepth && self->depth % kAnchorEvery != 0) {
        close(self->fd);
        self->fd = -1;
        if (parent->fd >= 0) {
            self->anchor = std::static_pointer_cast<const PosixOpenFolder>(parentIn);
        } else {
            self->anchor = parent->anchor;
            self->fromAnchor = parent->fromAnchor;
        }
        self->fromAnchor.push_back(own);
    }
    *keep = std::move(self);
    return r;
}

} // namespace pelmora
