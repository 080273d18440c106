// SPDX-License-Identifier: GPL-3.0-or-later
// The archiver the compression command hands its command line to.
#pragma once

#include <QByteArray>

namespace pelmora {

class Archiver
{
public:
    virtual ~Archiver() = default;

    // Runs one update command line (the paths in it are the file system's exact bytes) on an
    // archive that is already open: the existing archive is read from `from` (-1 when there is
    // none) and the whole new archive is written into `into`, an empty file, from its start.
    // The archive named on the command line is only named in the report; nothing is renamed,
    // synced or removed. The report text is left in `report`. Returns the archiver's code: 0
    // on success.
    virtual int run_into(const QByteArray& commandLine, int from, int into, QByteArray& report) = 0;
    // Whether the archive open at fd reads back cleanly: every header with its check sum, to
    // the end mark.
    virtual bool verify(int fd) = 0;
};

} // namespace pelmora
