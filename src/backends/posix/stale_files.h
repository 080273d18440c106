// SPDX-License-Identifier: GPL-3.0-or-later
// The leftovers of the program's own that a killed or failed run leaves behind: hidden
// temporaries beside the files it writes (.pelmora-tmp-<pid>-...), archives it kept aside for
// undo (.pelmora-kept-<pid>-...) and the archiver's list files (0pelmora-<pid>-XXXXXX.TMP in
// the temporary folder). One is stale when it is a regular file of this user and the process
// that made it is gone, or the process of that number started after the file was last
// changed (the number was given out again). A running process keeps its own, this one too:
// its kept archives wait for its undo.
#pragma once

#include <QByteArray>

namespace pelmora {

inline constexpr char kTempPrefix[] = ".pelmora-tmp-";
inline constexpr char kKeptPrefix[] = ".pelmora-kept-";
inline constexpr char kListPrefix[] = "0pelmora-";
inline constexpr char kListSuffix[] = ".TMP";

// Removes the stale leftovers in the folder open at dir_fd; returns how many went.
int remove_stale_files_at(int dir_fd);
// The same for a folder by path (any length); 0 when it cannot be opened.
int remove_stale_files(const QByteArray& folder);

// The folder for temporary files: TMPDIR, or /tmp.
QByteArray temp_folder();

} // namespace pelmora
