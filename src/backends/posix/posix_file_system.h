// SPDX-License-Identifier: GPL-3.0-or-later
// The file-system port on POSIX calls, by the exact bytes of each path and for paths of any
// length (long_path.h).
#pragma once

#include "ports/file_system.h"

namespace pelmora {

class PosixFileSystem final : public FileSystem
{
public:
    PathStat stat(const Path& path, bool follow_links) override;
    std::vector<ListedName> list(const Path& folder) override;
    bool opens_for_reading(const Path& path) override;
    bool make_folder(const Path& path) override;
    bool remove_file(const Path& path) override;
};

} // namespace pelmora
