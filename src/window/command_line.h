// SPDX-License-Identifier: GPL-3.0-or-later
// What the program's arguments ask for: the window takes no arguments, so besides --help and
// --version every argument is a usage error.
#pragma once

#include <QString>
#include <QStringList>

namespace pelmora {

struct CommandLineAction
{
    bool open_window = false; // no arguments: start as usual
    QString output;           // text to print before exiting
    bool to_stderr = false;
    int exit_code = 0;
};

// arguments: without the program name.
CommandLineAction parse_command_line(const QStringList& arguments);

} // namespace pelmora
