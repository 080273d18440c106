// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/output_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace pelmora {
namespace {

mode_t currentUmask()
{
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

bool writeFully(int fd, const std::uint8_t* data, std::size_t size, std::uint64_t offset)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

} // namespace

OutputFile::~OutputFile()
{
    if (m_attached)
        return;
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed && !m_temp.isEmpty())
        ::unlink(m_temp.constData());
}

bool OutputFile::fail()
{
    m_errno = errno;
    return false;
}

bool OutputFile::create(const QByteArray& target)
{
    m_target = target;
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray dir = slash < 0 ? QByteArray(".") : target.left(slash == 0 ? 1 : slash);
    // The program's own name for temporaries, which it clears once their writer is gone.
    QByteArray pattern = dir + (dir.endsWith('/') ? "" : "/") + ".pelmora-tmp-" +
                         QByteArray::number(::getpid()) + "-XXXXXX";
    m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd < 0)
        return fail();
    m_temp = pattern;
    return true;
}

bool OutputFile::write(std::span<const std::uint8_t> bytes)
{
    if (!writeFully(m_fd, bytes.data(), bytes.size(), m_size))
        return fail();
    m_size += bytes.size();
    return true;
}

bool OutputFile::write(const QByteArray& bytes)
{
    return write(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                           static_cast<std::size_t>(bytes.size())));
}

bool OutputFile::write_at(std::uint64_t offset, std::span<const std::uint8_t> bytes)
{
    return writeFully(m_fd, bytes.data(), bytes.size(), offset) || fail();
}

bool OutputFile::truncate(std::uint64_t size)
{
    if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0)
        return fail();
    m_size = size;
    return true;
}

bool OutputFile::commit(const struct stat* existing)
{
    if (::fsync(m_fd) != 0)
        return fail();
    if (existing) {
        // Only root may give the file away; for anyone else it is theirs already.
        if (::fchown(m_fd, existing->st_uid, existing->st_gid) != 0 && errno != EPERM)
            return fail();
        if (::fchmod(m_fd, existing->st_mode & 07777) != 0)
            return fail();
    } else if (::fchmod(m_fd, 0666 & ~currentUmask()) != 0) {
        return fail();
    }
    if (::rename(m_temp.constData(), m_target.constData()) != 0)
        return fail();
    m_committed = true;
    return true;
}

QString OutputFile::describe(int error)
{
    switch (error) {
    case ENOSPC:
        return QStringLiteral("ディスクの空き容量が足りません");
    case EDQUOT:
        return QStringLiteral("ディスクの使用量の上限に達しました");
    case EACCES:
    case EPERM:
        return QStringLiteral("書き込む権限がありません");
    case EROFS:
        return QStringLiteral("読み取り専用のドライブです");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("保存先のフォルダーが見つかりません");
    case EIO:
        return QStringLiteral("ディスクの読み書きでエラーが起きました");
    default:
        return QStringLiteral("書き込みに失敗しました (エラー番号 %1)").arg(error);
    }
}

} // namespace pelmora
