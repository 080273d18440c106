// SPDX-License-Identifier: GPL-3.0-or-later
// The shell layer on a POSIX file system: renames within a file system, copies through an
// unnamed file (posix_copy.h), keeps replaced files in the freedesktop trash.
//
// Every request is part of a command (a request outside one is a command of its own): the
// folders it reaches stay open for the command, and the file systems it changed are synced
// once when the command ends, before it may report success. A move to another file system
// copies at once and takes the source away only then, after the sync of the copies, and only
// while the source is still what was copied.
#pragma once

#include "backends/posix/freedesktop_trash.h"
#include "backends/posix/posix_copy.h"
#include "backends/posix/posix_file_system.h"
#include "backends/posix/posix_io.h"
#include "ports/shell.h"

#include <functional>
#include <sys/stat.h>
#include <vector>

namespace pelmora {

class EventYield;
class MessageBoxes;

class PosixShell final : public Shell
{
public:
    // A rename of from (in from_dir) to to (in to_dir) that never replaces what stands there.
    using RenameFn = posix::RenameAt;
    using UnlinkFn = std::function<int(int dir, const char* name)>;
    // Copies up to this size never show progress.
    static constexpr qint64 kProgressThreshold = qint64(4) * 1024 * 1024;

    PosixShell(MessageBoxes& messages, CopyProgressFactory* progress);

    using Shell::transfer;
    bool transfer(const Path& src, const Path& dst, int func, TransferReport* report) override;
    int remove(const PathList& paths, bool permanent, QList<TrashedFile>* trashed) override;
    bool restore(const TrashedFile& entry) override;
    bool delete_if_unchanged(const Path& path, const FileIdentity& identity) override;
    void begin_command() override;
    bool end_command() override;

    // Lets window events run every few milliseconds while a request works through many files.
    void set_event_yield(EventYield* yield) { m_yield = yield; }

    // Lets tests stand in the rename that moves a source to its destination (one that fails
    // as across file systems, say).
    void set_rename(RenameFn fn) { m_rename = std::move(fn); }
    // Lets tests stand in the unlink that takes a checked file away.
    void set_unlink(UnlinkFn fn) { m_unlink = std::move(fn); }
    // Lets tests stand in the sync of a file system (one that fails).
    void set_sync(posix::SyncSet::SyncFn fn) { m_syncs.set_sync(std::move(fn)); }
    // Lets tests act between the check of a file and the act on it: before a source is
    // renamed away or copied, before a copied source is checked a last time and removed,
    // before a checked copy is deleted, before a file goes to the trash after its info entry.
    void set_before_act(std::function<void(const QByteArray& path)> fn);
    PosixCopier& copier() { return m_copier; }
    FreedesktopTrash& trash() { return m_trash; }

private:
    // A source copied to another file system, removed once the copy is on disk.
    struct CopiedSource
    {
        QByteArray src;
        struct stat seen
        {};
        QByteArray dst;
        struct stat made
        {};
        TrashedFile replaced;
    };

    // A file renamed on its own file system in this command (moved, or sent to the trash),
    // put back while it is the same file when the command's closing sync fails.
    struct RenamedEntry
    {
        QByteArray from;
        QByteArray to;
        struct stat st
        {};
        TrashedFile replaced; // what the move put in the trash to take its new name
        TrashedFile trashed;  // for a file sent to the trash: put back through its entry
    };

    bool ask_replace(const Path& dst);
    bool transfer_in_command(const Path& src, const Path& dst, int func, TransferReport* report);
    bool move_across(int entry, const posix::FolderHandles::Folder& sdir, const QByteArray& s,
                     const posix::FolderHandles::Folder& ddir, const QByteArray& d, const Path& src,
                     const Path& dst, const TrashedFile& replaced);
    bool finish_moves();
    // Deletes path only while ok passes for the file there: checked through a handle, taken
    // aside, checked there, unlinked (by unlink when given, by the stand-in otherwise). The
    // test hook runs between the check and the act, or before the check.
    bool delete_checked(const QByteArray& path, const std::function<bool(const struct stat&)>& ok,
                        bool hook_after_check, const UnlinkFn& unlink = {});
    // Takes a copy away again (only while it is the copy made) and puts back what it replaced.
    void undo_copy_of(const CopiedSource& c);
    void touched(const posix::FolderHandles::Folder& f);
    void put_back_renamed();
    void yield_in_loop();

    MessageBoxes& m_messages;
    PosixCopier m_copier;
    FreedesktopTrash m_trash;
    posix::FolderHandles m_folders;
    posix::SyncSet m_syncs;
    std::vector<CopiedSource> m_copied;
    std::vector<RenamedEntry> m_renamed;
    RenameFn m_rename;
    UnlinkFn m_unlink;
    std::function<void(const QByteArray&)> m_before_act;
    EventYield* m_yield = nullptr;
    int m_command_depth = 0;
    bool m_command_failed = false;
};

// The question texts, shared with the tests.
QString replace_question(const Path& dst);
QString trash_question(const PathList& paths);

} // namespace pelmora
