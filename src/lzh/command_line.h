#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string_view>

namespace pelmora {

struct ArchiverCommand
{
    QString command;
    QStringList switches;
    QString archive;
    QString base;          // empty: members keep their whole path below "/"
    QStringList listFiles; // from "@path" tokens
    QStringList files;     // files named directly on the line
};

// Splits an archiver command line. Tokens are separated by spaces; a token
// holding a space or a comma comes wrapped in double quotes, and quotes inside
// are not escaped, so a quoted token ends at the first quote that is followed
// by a space or the end of the line.
std::optional<ArchiverCommand> parseCommandLine(std::string_view utf8, QString& why);

} // namespace pelmora
