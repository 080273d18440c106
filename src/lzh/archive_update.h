// SPDX-License-Identifier: GPL-3.0-or-later
// The "u" command of the archiver: rebuilding an archive with new members.
#pragma once

#include "lzh/source_files.h"
#include "lzh/unlha.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace pelmora {

struct UpdateOutcome
{
    UnlhaResult result = UnlhaResult::Ok;
    QString detail; // what failed, for the report
    int added = 0;
    int replaced = 0;
    int kept = 0;
};

// The "u" command: writes `archivePath` (exact bytes) holding the members of
// the existing archive (copied byte for byte) with those of the same name
// replaced by `files`, and the remaining `files` appended. Names are compared
// as text, each decoded by its own encoding. The new archive is built in a
// temporary file beside the target and renamed over it only when complete and
// synced, with the old archive's mode and owner; a name that is a symbolic
// link updates the link's target. Other hard links keep the old archive.
// Work is spread over `threads` threads (0: one per core; 1: all on the
// calling thread): small members each on a worker, large ones segment by
// segment. The archive's bytes are the same either way.
UpdateOutcome update_archive(const QByteArray& archivePath, const std::vector<SourceFile>& files,
                             unsigned threads = 0);

// The same on an archive the caller opened: the existing archive is read from
// `from` (-1: none) and the new one written into `into` (empty) from its
// start; `archivePath` only names it in the report. Nothing is synced or
// renamed.
UpdateOutcome update_archive_into(int from, int into, const QByteArray& archivePath,
                                  const std::vector<SourceFile>& files, unsigned threads = 0);

// Whether the archive open at fd reads back cleanly from its start: every
// header with its check sum, to the end mark and nothing after it, and at
// least one member.
bool verify_archive(int fd);

} // namespace pelmora
