// SPDX-License-Identifier: GPL-3.0-or-later
// Small path helpers under the file operations, and the two entry points into the shell
// layer with the program's own refusal rules in front of it.
#pragma once

#include "base/path.h"
#include "ports/file_system.h"
#include "ports/shell.h"

#include <QString>

namespace pelmora {

// Wraps the text in double quotes when it holds a space or a comma.
QString quote_if_needed(const QString& text);
// Trailing spaces removed, then exactly one "/" at the end if none was there.
QString trimmed_with_backslash(const QString& path);
// The part after the last "/": the whole path when there is none, empty when it ends in "/".
Path file_name_part(const Path& path);
// A folder (named with a trailing "/") that exists, or an ordinary file or a link that is not
// hidden (its name does not begin with "."). Looks at the exact bytes of the path; false
// without a file system.
bool path_exists(FileSystem* files, const Path& path);

// Refuses an empty path or a source path_exists does not find; strips one trailing "/" from
// src (the caller's variable too). True only when the file arrived at dst; report (may be
// null) receives what the transfer made and replaced.
bool shell_copy_or_move(Shell* shell, FileSystem* files, Path& src, const Path& dst, int func,
                        TransferReport* report = nullptr);
// 0 when every path went to the trash, non-zero otherwise (also without a shell).
int shell_delete(Shell* shell, const PathList& paths, bool permanent,
                 QList<TrashedFile>* trashed = nullptr);

} // namespace pelmora
