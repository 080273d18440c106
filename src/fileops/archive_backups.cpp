// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/archive_backups.h"

#include "platform/native_path.h"
#include "platform/posix_io.h"

#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {
namespace {

using native_path::to_native;
using posix::Fd;

bool copy_bytes(int in, int out)
{
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer + done, std::size_t(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            done += w;
        }
    }
}

// Copies from into a new file to (which must not exist), synced.
bool copy_new(const QByteArray& from, const QByteArray& to)
{
    const Fd in(::open(from.constData(), O_RDONLY | O_CLOEXEC));
    if (!in.valid())
        return false;
    Fd out(::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.valid())
        return false;
    if (!copy_bytes(in.get(), out.get()) || ::fsync(out.get()) != 0 || !out.close_checked()) {
        ::unlink(to.constData());
        return false;
    }
    return true;
}

// Rewrites to's own bytes from from, so its other hard links see the earlier archive too. The
// kept copy stays until the next compression, so a failure half-way can be undone again.
bool rewrite_in_place(const QByteArray& from, const QByteArray& to)
{
    const Fd in(::open(from.constData(), O_RDONLY | O_CLOEXEC));
    const Fd out(::open(to.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st
    {};
    return in.valid() && out.valid() && ::fstat(in.get(), &st) == 0 &&
           copy_bytes(in.get(), out.get()) && ::ftruncate(out.get(), st.st_size) == 0 &&
           ::fsync(out.get()) == 0;
}

// Writes a copy beside the target first and renames it into place, so the archive is whole
// at every moment; the copy takes the archive's mode and owner. An archive with several hard
// links is rewritten in place instead, so that all of its names go back.
bool copy_over(const QByteArray& from, const QByteArray& to)
{
    struct stat target
    {};
    if (::lstat(to.constData(), &target) != 0 || !S_ISREG(target.st_mode))
        return false;
    if (target.st_nlink > 1)
        return rewrite_in_place(from, to);
    const QByteArray temp =
        posix::parent_of(to) + "/.pelmora-archive-" + QByteArray::number(::getpid()) + ".tmp";
    ::unlink(temp.constData());
    if (!copy_new(from, temp))
        return false;
    const bool owner_kept = (target.st_uid == ::geteuid() && target.st_gid == ::getegid()) ||
                            ::lchown(temp.constData(), target.st_uid, target.st_gid) == 0 ||
                            errno == EPERM;
    if (!owner_kept || ::chmod(temp.constData(), target.st_mode & 07777) != 0 ||
        ::rename(temp.constData(), to.constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    posix::sync_folder(posix::parent_of(to));
    return true;
}

bool exists(const QString& path)
{
    struct stat st
    {};
    return ::lstat(to_native(path).constData(), &st) == 0;
}

} // namespace

ArchiveBackups::ArchiveBackups() = default;
ArchiveBackups::~ArchiveBackups() = default;

QString ArchiveBackups::take_slot()
{
    if (!m_dir) {
        m_dir = std::make_unique<QTemporaryDir>();
        if (!m_dir->isValid())
            return {};
        ::chmod(QFile::encodeName(m_dir->path()).constData(), 0700);
    }
    return m_dir->filePath(QStringLiteral("archive-%1.lzh").arg(++m_counter));
}

bool ArchiveBackups::prepare(const QString& archive)
{
    discard();
    m_pendingArchive = archive;
    if (!exists(archive))
        return true;
    const QString slot = take_slot();
    if (slot.isEmpty() || !copy_new(to_native(archive), to_native(slot)))
        return false;
    m_pendingCopy = slot;
    return true;
}

void ArchiveBackups::commit()
{
    if (!m_lastCopy.isEmpty() && m_lastCopy != m_pendingCopy)
        ::unlink(to_native(m_lastCopy).constData());
    m_lastArchive = m_pendingArchive;
    m_lastCopy = m_pendingCopy;
    m_pendingArchive.clear();
    m_pendingCopy.clear();
}

void ArchiveBackups::discard()
{
    if (!m_pendingCopy.isEmpty())
        ::unlink(to_native(m_pendingCopy).constData());
    m_pendingArchive.clear();
    m_pendingCopy.clear();
}

bool ArchiveBackups::restores(const QString& archive) const
{
    return archive == m_lastArchive && !m_lastCopy.isEmpty();
}

bool ArchiveBackups::undo(const QString& archive)
{
    if (archive == m_lastArchive && !m_lastCopy.isEmpty())
        return copy_over(to_native(m_lastCopy), to_native(archive));
    return ::unlink(to_native(archive).constData()) == 0;
}

} // namespace pelmora
