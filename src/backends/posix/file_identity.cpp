// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/posix/long_path.h"
#include "backends/posix/posix_file_system.h"
#include "base/native_path.h"

#include <sys/stat.h>

namespace pelmora {

FileIdentity identity_of(const QString& path)
{
    struct stat st
    {};
    if (path.isEmpty() || !posix::stat_path(native_path::to_native(path), st, false))
        return {};
    return FileIdentity{true, quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
                        qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

} // namespace pelmora
