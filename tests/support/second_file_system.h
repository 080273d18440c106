// SPDX-License-Identifier: GPL-3.0-or-later
// Where tests find a file system other than their tree's, for moves across file systems.
#pragma once

#include <QFile>
#include <QString>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora::test {

// A writable folder on another file system than path's: PELMORA_SECOND_FS, or /dev/shm;
// empty when neither is one.
inline QString second_file_system(const QString& path)
{
    struct stat here
    {};
    if (::stat(QFile::encodeName(path).constData(), &here) != 0)
        return {};
    for (const QString& there :
         {qEnvironmentVariable("PELMORA_SECOND_FS"), QStringLiteral("/dev/shm")}) {
        struct stat st
        {};
        if (!there.isEmpty() && ::stat(QFile::encodeName(there).constData(), &st) == 0 &&
            S_ISDIR(st.st_mode) && st.st_dev != here.st_dev &&
            ::access(QFile::encodeName(there).constData(), W_OK | X_OK) == 0)
            return there;
    }
    return {};
}

} // namespace pelmora::test
