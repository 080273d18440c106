// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop trash as the freedesktop.org trash specification lays it out, written by the
// program itself so the desktop's own trash lists and restores what the program sent there.
//
// A file on the file system of the home trash ($XDG_DATA_HOME/Trash) goes there; a file on
// another mount goes to $topdir/.Trash/$uid when the administrator set that up (a sticky
// folder that is not a link), otherwise to $topdir/.Trash-$uid. The file is only ever
// renamed: a file whose mount offers no usable trash stays where it is.
#pragma once

#include "backends/posix/posix_io.h"
#include "ports/shell.h"

#include <QByteArray>
#include <QDateTime>
#include <map>
#include <memory>
#include <optional>

namespace pelmora {

class FreedesktopTrash final
{
public:
    FreedesktopTrash();
    ~FreedesktopTrash();
    FreedesktopTrash(const FreedesktopTrash&) = delete;
    FreedesktopTrash& operator=(const FreedesktopTrash&) = delete;

    // Sends path to the trash. The info entry is written first, the file renamed after it;
    // the info entry goes again when that fails. Outside a command the result is on disk
    // when this returns (or the file is back in its place and nothing is returned).
    std::optional<TrashedFile> trash(const Path& path);
    // Puts a trashed file back at its original path, then drops its info entry. Refuses (and
    // leaves the trash as it was) when something now stands at that path. Without syncs the
    // folders are synced before it returns; with them, their file system is left to the
    // caller's sync.
    static bool restore(const TrashedFile& entry, posix::SyncSet* syncs = nullptr);

    // One command's requests: each trash folder is looked for once and kept open, folders
    // come from folders, and the file systems written are left in syncs for the caller to
    // sync before end_command. A trash in use carries a marker of this process until
    // end_command, so that the info entries of a run killed halfway are cleared the next time.
    void begin_command(posix::FolderHandles* folders, posix::SyncSet* syncs);
    void end_command();
    // Clears what a run killed halfway left in the trash at root: an info entry whose file
    // never arrived. Runs at start-up, so the desktop never lists an entry it cannot restore.
    static void clear_interrupted(const QByteArray& root);

    // Lets tests fix the deletion time written into the info entry.
    void set_now(std::function<QDateTime()> now) { m_now = std::move(now); }
    // Lets tests act between the info entry and the move of the file.
    void set_before_move(std::function<void(const QByteArray& path)> fn)
    {
        m_before_move = std::move(fn);
    }

private:
    struct Folder;
    Folder* folder_for(const QByteArray& path, dev_t dev);
    std::optional<TrashedFile> trash_now(const Path& path);

    std::function<QDateTime()> m_now = [] { return QDateTime::currentDateTime(); };
    std::function<void(const QByteArray&)> m_before_move;
    posix::FolderHandles* m_handles = nullptr;
    posix::SyncSet* m_syncs = nullptr;
    std::map<dev_t, std::unique_ptr<Folder>> m_folders;
    std::map<QByteArray, QByteArray> m_real_parents;
};

// The home trash folder: $XDG_DATA_HOME/Trash, or ~/.local/share/Trash without it.
QByteArray home_trash_folder();
// A path in the form the info entry stores it: every byte outside A-Z a-z 0-9 - . _ ~ /
// written as %XX.
QByteArray percent_encoded(const QByteArray& path);

} // namespace pelmora
