// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/posix/long_path.h"

#include <QList>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace pelmora::posix {

namespace {

// The longest piece of a path handed to the kernel at once (with its terminating zero).
constexpr qsizetype kPiece = PATH_MAX - 1;

bool too_long(const QByteArray& path)
{
    return path.size() >= kPiece;
}

// The end of the next piece of path from pos: a '/' that keeps the piece under kPiece.
qsizetype piece_end(const QByteArray& path, qsizetype pos)
{
    if (path.size() - pos < kPiece)
        return path.size();
    const qsizetype cut = path.lastIndexOf('/', pos + kPiece - 1);
    return cut > pos ? cut : -1;
}

// Opens folder (of any length) with O_PATH, walking it a piece at a time. Links inside the
// path are followed as the kernel follows them in a whole path.
Fd open_path_folder(const QByteArray& folder)
{
    Fd current;
    qsizetype pos = 0;
    if (folder.startsWith('/')) {
        current = Fd(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        pos = 1;
    }
    while (pos < folder.size()) {
        const qsizetype end = piece_end(folder, pos);
        if (end < 0) {
            errno = ENAMETOOLONG;
            return {};
        }
        const QByteArray piece = folder.mid(pos, end - pos);
        Fd next(::openat(current.valid() ? current.get() : AT_FDCWD, piece.constData(),
                         O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!next.valid())
            return {};
        current = std::move(next);
        pos = end + 1;
    }
    if (!current.valid())
        current = Fd(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    return current;
}

} // namespace

AtPath::AtPath(const QByteArray& path)
{
    if (!too_long(path)) {
        m_name = path;
        return;
    }
    // The last name keeps any trailing "/" (a folder is meant, and a link to one is followed).
    qsizetype end = path.size();
    while (end > 1 && path.at(end - 1) == '/')
        --end;
    const qsizetype cut = path.lastIndexOf('/', end - 1);
    m_folder = open_path_folder(cut < 0    ? QByteArrayLiteral(".")
                                : cut == 0 ? QByteArrayLiteral("/")
                                           : path.left(cut));
    m_dir = m_folder.valid() ? m_folder.get() : -1;
    m_name = path.mid(cut + 1);
}

bool stat_path(const QByteArray& path, struct stat& st, bool follow)
{
    const AtPath at(path);
    return ::fstatat(at.dir(), at.name(), &st, follow ? 0 : AT_SYMLINK_NOFOLLOW) == 0;
}

int unlink_path(const QByteArray& path)
{
    const AtPath at(path);
    return ::unlinkat(at.dir(), at.name(), 0);
}

Fd open_folder(const QByteArray& path, int flags)
{
    const AtPath at(path);
    return Fd(::openat(at.dir(), at.name(), flags | O_DIRECTORY | O_CLOEXEC));
}

QByteArray real_folder(const QByteArray& path)
{
    // The first piece goes to realpath; the rest is walked name by name, refusing links.
    const qsizetype end = piece_end(path, 0);
    if (end <= 0)
        return {};
    const QByteArray head = path.left(end);
    char* resolved = ::realpath(head.constData(), nullptr);
    if (!resolved)
        return {};
    QByteArray out(resolved);
    std::free(resolved);
    if (end == path.size())
        return out;
    Fd folder = open_path_folder(head);
    if (!folder.valid())
        return {};
    for (const QByteArray& name : path.mid(end + 1).split('/')) {
        if (name.isEmpty() || name == ".")
            continue;
        struct stat st
        {};
        if (::fstatat(folder.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(st.st_mode))
            return {};
        Fd next(::openat(folder.get(), name.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!next.valid())
            return {};
        folder = std::move(next);
        if (name == "..") {
            out = parent_of(out);
        } else {
            out = out.endsWith('/') ? out + name : out + '/' + name;
        }
    }
    return out;
}

} // namespace pelmora::posix
