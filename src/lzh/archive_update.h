#pragma once

#include "lzh/source_files.h"
#include "lzh/unlha.h"

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

// The "u" command: writes `archivePath` holding the members of the existing
// archive (copied byte for byte) with those of the same stored path replaced by
// `files`, and the remaining `files` appended. The new archive is built in a
// temporary file beside the target and renamed over it only when complete.
UpdateOutcome updateArchive(const QString& archivePath, const std::vector<SourceFile>& files);

} // namespace pelmora
