// SPDX-License-Identifier: GPL-3.0-or-later
// The archiver the compression command hands its command line to.
#pragma once

#include <QByteArray>

namespace pelmora {

class Archiver
{
public:
    virtual ~Archiver() = default;

    // Runs one archiver command line (the paths in it are the file system's exact bytes). The
    // archiver's report text is left in `report`. Returns the archiver's code: 0 on success.
    virtual int run(const QByteArray& commandLine, QByteArray& report) = 0;
};

} // namespace pelmora
