#include "platform/posix_folder_enumerator.h"

#include "platform/unique_fd.h"

#include <cstddef>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {
namespace {

constexpr std::size_t kBufferSize = std::size_t{64} * 1024;

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
}

PosixFolderEnumerator::PosixFolderEnumerator(std::string root,
                                             const std::set<std::string>& mountPoints)
    : m_root(std::move(root)), m_mountsBelowRoot(mounts_below(m_root, mountPoints)),
      m_buffer(kBufferSize)
{
    struct stat st
    {};
    m_rootValid = stat(m_root.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixFolderEnumerator::is_other_mount(const std::string& folder) const
{
    return !m_mountsBelowRoot.empty() && m_mountsBelowRoot.count(without_trailing_slash(folder));
}

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
    for (;;) {
        const ssize_t n = getdents64(fd.get(), m_buffer.data(), m_buffer.size());
        if (n < 0)
            return out.empty() ? ListResult::Unreadable : ListResult::Ok;
        if (n == 0)
            break;
        for (ssize_t off = 0; off < n;) {
            const auto* e = reinterpret_cast<const dirent64*>(m_buffer.data() + off);
            off += e->d_reclen;
            if (is_dot_or_dotdot(e->d_name))
                continue;
            unsigned char type = e->d_type;
            if (type == DT_UNKNOWN)
                type = resolve_unknown_type(fd.get(), e->d_name);
            out.push_back(FolderEntry{std::string(e->d_name), attributes_of(type, e->d_name)});
        }
    }
    return ListResult::Ok;
}

} // namespace pelmora
