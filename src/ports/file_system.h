// SPDX-License-Identifier: GPL-3.0-or-later
// The file system as the logic asks it outside copy, move and trash: what stands at a path,
// the folders in a folder, one new folder, one file removed, and the archive copies undo keeps.
// Paths are the exact bytes (see base/native_path.h) and may be of any length. Backend:
// backends/posix/posix_file_system.h.
#pragma once

#include "ports/shell.h"

#include <QString>
#include <QStringList>

namespace pelmora {

enum class PathKind { Missing, File, Folder, Link, Other };

class FileSystem
{
public:
    virtual ~FileSystem() = default;

    // The file at path now (not following a link); invalid when nothing is there.
    virtual FileIdentity identity(const QString& path) = 0;
    // What stands at path; follow = false looks at a link itself.
    virtual PathKind kind(const QString& path, bool follow) = 0;
    // The names of the folders in folder (links to folders count), in no order; empty when
    // the folder cannot be read.
    virtual QStringList folders_in(const QString& folder) = 0;
    // Makes one folder; false when something stands there or the file system refuses.
    virtual bool make_folder(const QString& path) = 0;
    // Removes one file (not a folder).
    virtual bool remove_file(const QString& path) = 0;
    // Copies from into a new file to, where nothing may stand; on disk when true, and no
    // partial file is left on false.
    virtual bool copy_new(const QString& from, const QString& to) = 0;
    // Puts the bytes of from back at to, a regular file, keeping to's mode and owner; the file
    // at to is whole at every moment, and all of its hard links see the bytes of from.
    virtual bool copy_over(const QString& from, const QString& to) = 0;
};

} // namespace pelmora
