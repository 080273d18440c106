// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/at_path.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace pelmora {
namespace {

// The longest piece of a path handed to the kernel at once (with its terminating zero).
constexpr qsizetype kPiece = PATH_MAX - 1;

// Opens folder with O_PATH a piece at a time, each piece ending at a '/' below kPiece bytes;
// links inside are followed as the kernel follows them in a whole path. -1 on failure.
int openFolder(const QByteArray& folder)
{
    int current = -1;
    qsizetype pos = 0;
    if (folder.startsWith('/')) {
        current = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (current < 0)
            return -1;
        pos = 1;
    }
    while (pos < folder.size()) {
        qsizetype end = folder.size();
        if (end - pos >= kPiece) {
            end = folder.lastIndexOf('/', pos + kPiece - 1);
            if (end <= pos) {
                if (current >= 0)
                    ::close(current);
                errno = ENAMETOOLONG;
                return -1;
            }
        }
        const QByteArray piece = folder.mid(pos, end - pos);
        const int next = ::openat(current >= 0 ? current : AT_FDCWD, piece.constData(),
                                  O_PATH | O_DIRECTORY | O_CLOEXEC);
        const int saved = errno;
        if (current >= 0)
            ::close(current);
        if (next < 0) {
            errno = saved;
            return -1;
        }
        current = next;
        pos = end + 1;
    }
    return current >= 0 ? current : ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
}

} // namespace

AtPath::AtPath(const QByteArray& path) : m_dir(AT_FDCWD), m_name(path)
{
    if (path.size() < kPiece)
        return;
    const qsizetype cut = path.lastIndexOf('/');
    m_folder = openFolder(cut == 0 ? QByteArrayLiteral("/") : path.left(cut));
    m_dir = m_folder;
    m_name = path.mid(cut + 1);
}

AtPath::~AtPath()
{
    if (m_folder >= 0)
        ::close(m_folder);
}

int open_at_path(const QByteArray& path, int flags)
{
    const AtPath at(path);
    return at.dir() == -1 ? -1 : ::openat(at.dir(), at.name(), flags | O_CLOEXEC);
}

bool stat_at_path(const QByteArray& path, struct stat& st)
{
    const AtPath at(path);
    return at.dir() != -1 && ::fstatat(at.dir(), at.name(), &st, 0) == 0;
}

bool readable_at_path(const QByteArray& path)
{
    const AtPath at(path);
    return at.dir() != -1 && ::faccessat(at.dir(), at.name(), R_OK, 0) == 0;
}

} // namespace pelmora
