// SPDX-License-Identifier: GPL-3.0-or-later
// The archiver's command line: parsing it into a command, options and paths.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>
#include <string_view>

namespace pelmora {

// Paths are the file system's exact bytes, as our caller passes them.
struct ArchiverCommand
{
    QByteArray command;
    QList<QByteArray> switches;
    QByteArray archive;
    QByteArray base;             // empty: members keep their whole path below "/"
    QList<QByteArray> listFiles; // from "@path" tokens
    QList<QByteArray> files;     // files named directly on the line
};

// Splits an archiver command line: command, switches, archive, optional base
// folder, then "@list" or file tokens. Tokens are separated by spaces; a token
// holding a space or a comma comes wrapped in double quotes, and quotes inside
// are not escaped. A quoted token therefore ends at a quote followed by a
// space or the end of the line; when a path itself holds such a quote, the
// split with a base folder and a list file and the fewest tokens is taken.
std::optional<ArchiverCommand> parse_archiver_command_line(std::string_view line, QString& why);

} // namespace pelmora
