#include "platform/posix_folder_enumerator.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace pelmora {
namespace {

// Closes the directory stream (and with it its descriptor) on every path out.
struct DirCloser
{
    void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

bool is_dot_or_dotdot(const char* n)
{
    return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
}

std::uint32_t type_attributes(int dirFd, const char* name, unsigned char type)
{
    if (type == DT_UNKNOWN) {
        // Some file systems leave the type out of the entry; ask for this one only.
        struct stat st {};
        if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return 0;
        if (S_ISLNK(st.st_mode))
            type = DT_LNK;
        else if (S_ISDIR(st.st_mode))
            type = DT_DIR;
        else
            type = DT_REG;
    }
    if (type == DT_LNK)
        return attr::Link;
    if (type != DT_DIR)
        return 0;
    std::uint32_t a = attr::Directory;
    // Folders are few beside files, so the write test costs little here; files get none,
    // since nothing reads their read-only bit and it would cost a call per file.
    if (faccessat(dirFd, name, W_OK, AT_EACCESS) != 0)
        a |= attr::ReadOnly;
    return a;
}

} // namespace

PosixFolderEnumerator::PosixFolderEnumerator(std::string root) : m_root(std::move(root))
{
    struct stat st {};
    if (stat(m_root.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        m_rootDevice = st.st_dev;
        m_rootValid = true;
    }
}

ListResult PosixFolderEnumerator::list_folder(const std::string& path,
                                              std::vector<FolderEntry>& out)
{
    out.clear();
    if (!m_rootValid)
        return ListResult::Unreadable;
    // The root itself may be reached through a link (say /home -> /var/home); every folder
    // below it is opened without following one, so a swapped-in link cannot lead the scan out.
    const int flags =
        O_RDONLY | O_DIRECTORY | O_CLOEXEC | (path == m_root ? 0 : O_NOFOLLOW);
    const int fd = open(path.c_str(), flags);
    if (fd < 0)
        return ListResult::Unreadable;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        close(fd);
        return ListResult::Unreadable;
    }
    if (st.st_dev != m_rootDevice) {
        close(fd);
        return ListResult::OtherFileSystem;
    }
    DirHandle dir(fdopendir(fd));
    if (!dir) {
        close(fd);
        return ListResult::Unreadable;
    }
    const int dfd = dirfd(dir.get());
    while (const dirent* e = readdir(dir.get())) {
        if (is_dot_or_dotdot(e->d_name))
            continue;
        FolderEntry entry;
        entry.name.assign(e->d_name);
        entry.attributes = type_attributes(dfd, e->d_name, e->d_type);
        if (e->d_name[0] == '.')
            entry.attributes |= attr::Hidden;
        out.push_back(std::move(entry));
    }
    return ListResult::Ok;
}

} // namespace pelmora
