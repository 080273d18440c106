// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/posix/stale_files.h"

#include "backends/posix/long_path.h"
#include "backends/posix/posix_io.h"

#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelmora {
namespace {

enum class Kind { None, Temp, Kept, List };

// The kind of leftover name is, and the number of the process that made it.
Kind kind_of(const QByteArray& name, pid_t& pid)
{
    QByteArray rest;
    Kind kind = Kind::None;
    if (name.startsWith(kTempPrefix)) {
        kind = Kind::Temp;
        rest = name.mid(qsizetype(sizeof kTempPrefix) - 1);
    } else if (name.startsWith(kKeptPrefix)) {
        kind = Kind::Kept;
        rest = name.mid(qsizetype(sizeof kKeptPrefix) - 1);
    } else if (name.startsWith(kListPrefix) && name.endsWith(kListSuffix)) {
        kind = Kind::List;
        rest = name.mid(qsizetype(sizeof kListPrefix) - 1);
    } else {
        return Kind::None;
    }
    const qsizetype dash = rest.indexOf('-');
    bool ok = false;
    const long number = dash > 0 ? rest.left(dash).toLong(&ok) : 0;
    if (!ok || number <= 0)
        return Kind::None;
    pid = pid_t(number);
    return kind;
}

// The text of a /proc file; empty when it cannot be read.
QByteArray proc_text(const char* path)
{
    QFile f(QString::fromLatin1(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The boot time in seconds since the epoch; 0 when unknown.
long long boot_time()
{
    static const long long boot = [] {
        const QByteArray stat = proc_text("/proc/stat");
        const qsizetype at = stat.indexOf("\nbtime ");
        if (at < 0)
            return 0LL;
        const qsizetype end = stat.indexOf('\n', at + 7);
        return stat.mid(at + 7, end - at - 7).trimmed().toLongLong();
    }();
    return boot;
}

// When the process pid started, in seconds since the epoch; -1 when it is not running, 0 when
// it runs but its start is unknown.
long long started(pid_t pid)
{
    if (::kill(pid, 0) != 0 && errno == ESRCH)
        return -1;
    const QByteArray stat = proc_text(("/proc/" + QByteArray::number(pid) + "/stat").constData());
    // The fields after the command name (which may hold spaces and parentheses).
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return 0;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    // starttime is field 22 of the line, the 20th after the command name.
    const long ticks = ::sysconf(_SC_CLK_TCK);
    if (fields.size() < 20 || ticks <= 0 || boot_time() == 0)
        return 0;
    return boot_time() + fields[19].toLongLong() / ticks;
}

bool stale(pid_t pid, const struct stat& st)
{
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    const long long start = started(pid);
    if (start < 0)
        return true;
    // A start time counts in whole seconds here: a margin keeps a file made just after.
    return start > 0 && st.st_ctim.tv_sec + 2 < start;
}

} // namespace

int remove_stale_files_at(int dir_fd)
{
    DIR* dir = ::fdopendir(::fcntl(dir_fd, F_DUPFD_CLOEXEC, 0));
    if (!dir)
        return 0;
    // Rewound: a duplicate shares its position with dir_fd.
    ::rewinddir(dir);
    std::vector<QByteArray> names;
    while (const dirent* e = ::readdir(dir)) {
        pid_t pid = 0;
        const QByteArray name(e->d_name);
        struct stat st
        {};
        if (kind_of(name, pid) != Kind::None &&
            ::fstatat(dir_fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && stale(pid, st))
            names.push_back(name);
    }
    ::closedir(dir);
    int removed = 0;
    for (const QByteArray& name : names)
        removed += ::unlinkat(dir_fd, name.constData(), 0) == 0 ? 1 : 0;
    return removed;
}

int remove_stale_files(const QByteArray& folder)
{
    const posix::Fd fd = posix::open_folder(folder, O_RDONLY);
    return fd.valid() ? remove_stale_files_at(fd.get()) : 0;
}

QByteArray temp_folder()
{
    QByteArray folder = qgetenv("TMPDIR");
    while (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    return folder.isEmpty() ? QByteArrayLiteral("/tmp") : folder;
}

} // namespace pelmora
