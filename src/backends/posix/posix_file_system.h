// SPDX-License-Identifier: GPL-3.0-or-later
// The file-system port on POSIX calls, by the exact bytes of each path and for paths of any
// length (long_path.h).
#pragma once

#include "ports/file_system.h"

namespace pelmora {

// The file at path now (not following a link); invalid when nothing is there.
FileIdentity identity_of(const QString& path);

class PosixFileSystem final : public FileSystem
{
public:
    FileIdentity identity(const QString& path) override { return identity_of(path); }
    PathKind kind(const QString& path, bool follow) override;
    QStringList folders_in(const QString& folder) override;
    bool make_folder(const QString& path) override;
    bool remove_file(const QString& path) override;
    bool copy_new(const QString& from, const QString& to) override;
    bool copy_over(const QString& from, const QString& to) override;
};

} // namespace pelmora
