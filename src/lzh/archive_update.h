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
// temporary file beside the target and put in place only when complete.
// Work is spread over `threads` threads (0: one per core; 1: all on the
// calling thread): small members each on a worker, large ones segment by
// segment. The archive's bytes are the same either way.
UpdateOutcome updateArchive(const QByteArray& archivePath, const std::vector<SourceFile>& files,
                            unsigned threads = 0);

} // namespace pelmora
