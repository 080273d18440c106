// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/list_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace pelmora {
namespace {

bool needsQuotes(const QByteArray& s)
{
    return s.contains(' ') || s.contains(',');
}

// Undoes the writer's "quote when it holds a space or a comma". A line that
// holds either without being wrapped, or is wrapped without needing it, could
// not have come from that writer, except a name that itself starts and ends
// with a quote, which is kept as it is.
bool unquote(const QByteArray& line, QByteArray& entry)
{
    if (line.size() >= 2 && line.front() == '"' && line.back() == '"') {
        const QByteArray inner = line.sliced(1, line.size() - 2);
        entry = needsQuotes(inner) ? inner : line;
        return true;
    }
    if (needsQuotes(line))
        return false;
    entry = line;
    return true;
}

} // namespace

ListFile parse_list_text(const QByteArray& bytes)
{
    ListFile list;
    if (bytes.contains('\0')) {
        list.status = ListFile::Status::Malformed;
        list.badLine = 1 + static_cast<int>(bytes.left(bytes.indexOf('\0')).count('\n'));
        return list;
    }
    const QList<QByteArray> lines = bytes.split('\n');
    // The last piece follows the final line end and must be empty; anything
    // else is a line that was never ended, the mark of a cut-off list.
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        const bool last = i + 1 == lines.size();
        bool ok = last ? line.isEmpty() : line.endsWith('\r');
        if (!last)
            line.chop(1);
        QByteArray entry;
        ok = ok && !line.contains('\r') && unquote(line, entry);
        if (!ok) {
            list.status = ListFile::Status::Malformed;
            list.badLine = static_cast<int>(i) + 1;
            list.entries.clear();
            return list;
        }
        if (!entry.isEmpty())
            list.entries << entry;
    }
    return list;
}

ListFile read_list_file(const QByteArray& path)
{
    ListFile failed;
    failed.status = ListFile::Status::Unreadable;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failed;
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return failed;
        }
        if (n == 0)
            break;
        bytes.append(chunk, n);
    }
    ::close(fd);
    return parse_list_text(bytes);
}

} // namespace pelmora
