// SPDX-License-Identifier: GPL-3.0-or-later
// The file system as the logic asks it outside copy, move, trash and compression: what stands
// at a path, what a folder holds, whether a file opens, one new folder, one file removed. Paths
// are the exact bytes (base/path.h) and may be of any length; no Qt file class sees them.
// Backend: backends/posix/posix_file_system.h.
#pragma once

#include "base/path.h"
#include "ports/shell.h"

#include <QString>
#include <vector>

namespace pelmora {

enum class PathKind { Missing, File, Folder, Link, Other };

// What stands at a path.
struct PathStat
{
    PathKind kind = PathKind::Missing;
    FileIdentity identity; // valid unless kind is Missing
};

// One entry of a folder: its name as stored (a bare name, no folder) and what it leads to, a
// link followed; a link that leads nowhere is a Link.
struct ListedName
{
    Path name;
    PathKind kind = PathKind::Missing;
};

class FileSystem
{
public:
    virtual ~FileSystem() = default;

    // What stands at path; follow_links = false looks at a link itself.
    virtual PathStat stat(const Path& path, bool follow_links) = 0;
    // Every entry of folder but "." and "..", in no order; empty when it cannot be read.
    virtual std::vector<ListedName> list(const Path& folder) = 0;
    // True when path is a file (not a folder) that opens for reading now.
    virtual bool opens_for_reading(const Path& path) = 0;
    // Makes one folder; false when something stands there or the file system refuses.
    virtual bool make_folder(const Path& path) = 0;
    // Removes one file (not a folder).
    virtual bool remove_file(const Path& path) = 0;
    // The file at path now (not following a link); invalid when nothing is there.
    FileIdentity identity(const Path& path) { return stat(path, false).identity; }
    // What stands at path; follow = false looks at a link itself.
    PathKind kind(const Path& path, bool follow) { return stat(path, follow).kind; }
};

} // namespace pelmora
