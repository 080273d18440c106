// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/posix/posix_file_system.h"

namespace pelmora {

FileIdentity identity_of(const QString& path)
{
    return PosixFileSystem{}.stat(Path(path), false).identity;
}

} // namespace pelmora
