// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/posix/posix_copy.h"

#include "backends/posix/posix_io.h"
#include "backends/posix/stale_files.h"

#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelmora {

namespace {

using posix::Fd;

constexpr std::size_t kBuffer = std::size_t(1) << 20;
constexpr qint64 kSmallBuffer = qint64(64) << 10;
constexpr std::size_t kKernelChunk = std::size_t(8) << 20;
constexpr off_t kEarlyWriteBack = off_t(1) << 20;

bool write_all(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

} // namespace

// True when err says the file systems do not do this at all (rather than that it failed).
bool refused(int err)
{
    return err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == ENOTTY ||
           err == EBADF;
}

bool copy_bytes(int in, int out, qint64 total, CopyProgress* progress, CopyWays& ways)
{
    if (ways.clone) {
        if (::ioctl(out, FICLONE, in) == 0)
            return true;
        if (refused(errno))
            ways.clone = false;
    }
    qint64 done = 0;
    std::vector<char> buffer;
    for (;;) {
        ssize_t n = 0;
        if (ways.kernel) {
            n = ::copy_file_range(in, nullptr, out, nullptr, kKernelChunk, 0);
            if (n < 0 && errno != EINTR && done == 0 && refused(errno)) {
                ways.kernel = false; // nothing was copied by the failed call: go on by hand
                continue;
            }
        } else {
            // No larger than the file needs: a small file is read whole, then its end.
            if (buffer.empty())
                buffer.resize(
                    std::size_t(std::clamp<qint64>(total + 1, kSmallBuffer, qint64(kBuffer))));
            n = ::read(in, buffer.data(), buffer.size());
            if (n > 0 && !write_all(out, buffer.data(), std::size_t(n)))
                return false;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        done += n;
        if (progress && !progress->update(done, total))
            return false;
        // All the bytes the status promised: the caller's second look at the source tells
        // whether it grew meanwhile, so no call is spent on reading its end.
        if (ways.kernel && done == total)
            return true;
    }
}

namespace {

// Removes the file when the copy does not get to name it.
class TempName final
{
public:
    TempName(int dir, QByteArray name) : m_dir(dir), m_name(std::move(name)) {}
    ~TempName()
    {
        if (!m_name.isEmpty())
            ::unlinkat(m_dir, m_name.constData(), 0);
    }
    TempName(const TempName&) = delete;
    TempName& operator=(const TempName&) = delete;
    void release() { m_name.clear(); }

private:
    int m_dir;
    QByteArray m_name;
};

// Creates a file of a hidden name of the program's own in dir, exclusively; name receives it.
int make_temp(int dir, QByteArray& name)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const QByteArray stem = QByteArray(kTempPrefix) + QByteArray::number(::getpid()) + '-';
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = stem;
        for (int i = 0; i < 6; ++i)
            name += letters[QRandomGenerator::global()->bounded(62)];
        const int fd = ::openat(dir, name.constData(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

QByteArray PosixCopier::temp_prefix()
{
    return QByteArray(kTempPrefix);
}

PosixCopier::PosixCopier(CopyProgressFactory* progress, qint64 threshold)
    : m_progress(progress), m_threshold(threshold)
{}

void PosixCopier::clear_stale(const posix::FolderHandles::Folder& folder)
{
    if (m_cleared.insert({folder.st.st_dev, folder.st.st_ino}).second)
        remove_stale_files_at(folder.fd);
}

bool PosixCopier::copy(int in, const struct stat& st, const posix::FolderHandles::Folder& to,
                       const QByteArray& name, const Path& src, const Path& dst,
                       Durability durability, struct stat* source_seen, bool keep_owner,
                       Transfer kind)
{
    if (in < 0 || !to.valid() || !S_ISREG(st.st_mode))
        return false;
    clear_stale(to);

    // An unnamed file first; a hidden name where the file system has none.
    Fd out;
    bool unnamed = false;
    if (m_use_unnamed) {
        out = Fd(::openat(to.fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
        unnamed = out.valid();
    }
    QByteArray temp;
    if (!unnamed) {
        out = Fd(make_temp(to.fd, temp));
        if (!out.valid())
            return false;
    }
    TempName guard(to.fd, unnamed ? QByteArray() : temp);

    std::unique_ptr<CopyProgress> progress;
    if (m_progress && st.st_size > m_threshold)
        progress = m_progress->begin(src, dst, st.st_size, kind);
    if (!copy_bytes(in, out.get(), st.st_size, progress.get(), m_ways[{st.st_dev, to.st.st_dev}]))
        return false;
    // Written to while we read it (an application saving in place): the copy may be torn.
    struct stat after
    {};
    if (::fstat(in, &after) != 0 || !posix::same_version(st, after))
        return false;

    // Ownership first: a change of owner clears the set-id bits the mode then restores.
    if (keep_owner && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
        ::fchown(out.get(), st.st_uid, st.st_gid) != 0 && errno != EPERM)
        return false;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::fchmod(out.get(), st.st_mode & 07777) != 0 || ::futimens(out.get(), times) != 0)
        return false;
    if (durability == Durability::Now) {
        if (::fsync(out.get()) != 0)
            return false;
    } else if (st.st_size >= kEarlyWriteBack) {
        // Start the write-back of a large file now; the command's closing sync waits for it.
        // Small files are left to that sync, which writes them in one batch.
        ::sync_file_range(out.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    }

    if (unnamed) {
        // The descriptor itself where the kernel lets this process name its own unnamed file
        // (root, or since 6.10 anyone), through /proc otherwise.
        if (::linkat(out.get(), "", to.fd, name.constData(), AT_EMPTY_PATH) != 0) {
            if (errno != ENOENT && errno != EPERM)
                return false;
            const QByteArray proc = "/proc/self/fd/" + QByteArray::number(out.get());
            if (::linkat(AT_FDCWD, proc.constData(), to.fd, name.constData(), AT_SYMLINK_FOLLOW) !=
                0)
                return false;
        }
    } else if (posix::rename_at_no_replace(to.fd, temp.constData(), to.fd, name.constData()) != 0) {
        return false;
    }
    guard.release();
    if (!out.close_checked()) {
        ::unlinkat(to.fd, name.constData(), 0);
        return false;
    }

    if (source_seen)
        *source_seen = st;
    // A name that may not be on disk is no copy: it goes again.
    if (durability == Durability::Now && ::fsync(to.fd) != 0) {
        ::unlinkat(to.fd, name.constData(), 0);
        return false;
    }
    return true;
}

} // namespace pelmora
