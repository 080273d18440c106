// SPDX-License-Identifier: GPL-3.0-or-later
// The one call into the archiver: builds its command line and runs it.
#pragma once

#include "base/path.h"

#include <QString>
#include <QtGlobal>

namespace pelmora {

class Archiver;

inline const QString kLhaSwitches = QStringLiteral("-a1 -r2 -l1 -jp1 -o2");

// "u" + switches + archive + base folder + files, each quoted where needed, one space apart,
// and one space at the end.
QString lha_command_line(const QString& archive, const QString& base, const QString& files);

// Updates archive from the names in list_file, with no base folder. True when the archiver
// reported success. The existing archive is read from `from` (-1 when there is none) and the
// new one written into `into` (see Archiver::run_into).
bool lha_update(Archiver& archiver, const Path& archive, const Path& list_file, int from, int into);

} // namespace pelmora
