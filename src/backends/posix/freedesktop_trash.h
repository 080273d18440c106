// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop trash as the freedesktop.org trash specification lays it out, written by the
// program itself so the desktop's own trash lists and restores what the program sent there.
//
// A file on the file system of the home trash ($XDG_DATA_HOME/Trash) goes there; a file on
// another mount goes to $topdir/.Trash/$uid when the administrator set that up (a sticky
// folder that is not a link), otherwise to $topdir/.Trash-$uid. The file is only ever
// renamed: a file whose mount offers no usable trash stays where it is.
#pragma once

#include "ports/shell.h"

#include <QByteArray>
#include <QDateTime>
#include <optional>

namespace pelmora {

class FreedesktopTrash final
{
public:
    // Sends path to the trash. The info entry is written first, the file renamed after it;
    // nothing is left behind when that fails.
    std::optional<TrashedFile> trash(const QString& path);
    // Puts a trashed file back at its original path and drops its info entry. Refuses (and
    // leaves the trash as it was) when something now stands at that path.
    static bool restore(const TrashedFile& entry);

    // Lets tests fix the deletion time written into the info entry.
    void set_now(std::function<QDateTime()> now) { m_now = std::move(now); }

private:
    std::function<QDateTime()> m_now = [] { return QDateTime::currentDateTime(); };
};

// The home trash folder: $XDG_DATA_HOME/Trash, or ~/.local/share/Trash without it.
QByteArray home_trash_folder();
// A path in the form the info entry stores it: every byte outside A-Z a-z 0-9 - . _ ~ /
// written as %XX.
QByteArray percent_encoded(const QByteArray& path);

} // namespace pelmora
