// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/posix/posix_copy.h"

#include "backends/posix/long_path.h"
#include "backends/posix/posix_io.h"
#include "backends/posix/stale_files.h"

#include <QRandomGenerator>
#include <cerrno>
#include <climits>
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
constexpr std::size_t kKernelChunk = std::size_t(8) << 20;

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

bool copy_bytes(int in, int out, qint64 total, CopyProgress* progress)
{
    if (::ioctl(out, FICLONE, in) == 0)
        return true;
    qint64 done = 0;
    bool kernel = true;
    std::vector<char> buffer;
    for (;;) {
        ssize_t n = 0;
        if (kernel) {
            n = ::copy_file_range(in, nullptr, out, nullptr, kKernelChunk, 0);
            if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS ||
                          errno == EOPNOTSUPP || errno == EBADF)) {
                kernel = false; // nothing was copied by the failed call: go on by hand
                continue;
            }
        } else {
            if (buffer.empty())
                buffer.resize(kBuffer);
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
    }
}

namespace {

// Removes the file when the copy does not get to name it.
class TempName final
{
public:
    explicit TempName(QByteArray path) : m_path(std::move(path)) {}
    ~TempName()
    {
        if (!m_path.isEmpty())
            posix::unlink_path(m_path);
    }
    TempName(const TempName&) = delete;
    TempName& operator=(const TempName&) = delete;
    void release() { m_path.clear(); }

private:
    QByteArray m_path;
};

// Creates path_template's file exclusively, its trailing XXXXXX replaced as mkostemp does; a
// template too long for the kernel is created through its folder's descriptor.
int make_temp(QByteArray& path_template)
{
    if (path_template.size() < PATH_MAX - 1)
        return ::mkostemp(path_template.data(), O_CLOEXEC);
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const qsizetype tail = path_template.size() - 6;
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (qsizetype i = tail; i < path_template.size(); ++i)
            path_template[i] = letters[QRandomGenerator::global()->bounded(62)];
        const posix::AtPath at(path_template);
        const int fd = ::openat(at.dir(), at.name(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
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

void PosixCopier::clear_stale(const QByteArray& folder)
{
    if (!m_cleared.insert(folder).second)
        return;
    const Fd dirFd = posix::open_folder(folder, O_RDONLY);
    if (dirFd.valid())
        remove_stale_files_at(dirFd.get());
}

bool PosixCopier::copy(const QByteArray& src, const QByteArray& dst, const QString& src_text,
                       const QString& dst_text, Durability durability, struct stat* source_seen,
                       bool keep_owner, Transfer kind, int source_fd)
{
    Fd opened;
    if (source_fd < 0) {
        const posix::AtPath from(src);
        opened = Fd(::openat(from.dir(), from.name(), O_RDONLY | O_CLOEXEC));
        if (!opened.valid())
            return false;
    }
    const int in = source_fd >= 0 ? source_fd : opened.get();
    struct stat st
    {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode))
        return false;

    const QByteArray folder = posix::parent_of(dst);
    clear_stale(folder);

    // An unnamed file first; a hidden name where the file system has none.
    Fd out;
    bool unnamed = false;
    if (m_use_unnamed) {
        const posix::AtPath at(folder);
        out = Fd(::openat(at.dir(), at.name(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
        unnamed = out.valid();
    }
    QByteArray tempPath;
    if (!unnamed) {
        tempPath = folder + '/' + temp_prefix() + QByteArray::number(::getpid()) + "-XXXXXX";
        out = Fd(make_temp(tempPath));
        if (!out.valid())
            return false;
    }
    TempName guard(unnamed ? QByteArray() : tempPath);

    std::unique_ptr<CopyProgress> progress;
    if (m_progress && st.st_size > m_threshold)
        progress = m_progress->begin(src_text, dst_text, st.st_size, kind);
    if (!copy_bytes(in, out.get(), st.st_size, progress.get()))
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
    } else {
        // Start the write-back now; the command's closing sync waits for it.
        ::sync_file_range(out.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    }

    const posix::AtPath to(dst);
    if (unnamed) {
        const QByteArray proc = "/proc/self/fd/" + QByteArray::number(out.get());
        if (::linkat(AT_FDCWD, proc.constData(), to.dir(), to.name(), AT_SYMLINK_FOLLOW) != 0 &&
            (errno == EEXIST || ::linkat(out.get(), "", to.dir(), to.name(), AT_EMPTY_PATH) != 0))
            return false;
    } else if (posix::rename_no_replace(tempPath.constData(), dst.constData()) != 0) {
        return false;
    }
    guard.release();
    if (!out.close_checked()) {
        ::unlinkat(to.dir(), to.name(), 0);
        return false;
    }

    if (source_seen)
        *source_seen = st;
    // A name that may not be on disk is no copy: it goes again.
    if (durability == Durability::Now && !posix::sync_folder(folder)) {
        ::unlinkat(to.dir(), to.name(), 0);
        return false;
    }
    return true;
}

} // namespace pelmora
