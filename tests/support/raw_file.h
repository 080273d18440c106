// SPDX-License-Identifier: GPL-3.0-or-later
// Reads a file's bytes with plain system calls, so a test can look at what the code under test
// wrote without going through it (or through Qt's lossy file names).
#pragma once

#include <QByteArray>
#include <fcntl.h>
#include <unistd.h>

namespace pelmora::test {

// Everything readable from fd, which it closes; "<missing>" when fd is not open.
inline QByteArray read_fd_all(int fd)
{
    if (fd < 0)
        return "<missing>";
    QByteArray out;
    char buf[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        out.append(buf, n);
    ::close(fd);
    return out;
}

inline QByteArray read_raw(const QByteArray& path)
{
    return read_fd_all(::open(path.constData(), O_RDONLY | O_CLOEXEC));
}

} // namespace pelmora::test
