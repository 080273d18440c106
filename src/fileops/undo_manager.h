// SPDX-License-Identifier: GPL-3.0-or-later
// The undo of the last operation in one place: the journal the commands record into and the
// earlier archives a compression kept aside, and whether undo is available now. The journal
// stays the session variable it is by design (the window and the session read it there); the
// commands write it only through here.
#pragma once

#include "fileops/archive_backups.h"
#include "session/undo_journal.h"

#include <QObject>
#include <vector>

namespace pelmora {

class UndoManager final : public QObject
{
    Q_OBJECT
public:
    UndoManager(UndoJournal& journal, ArchiveFiles* files, QObject* parent = nullptr);

    const UndoJournal& journal() const { return m_journal; }

    // What a command records while it works; the journal of the last operation is replaced.
    void record(UndoKind kind, std::vector<UndoEntry> entries);
    void set_kind(UndoKind kind);
    // Forgets the paths (after a failure); the kind stays.
    void clear_paths();
    // A compression succeeded: its undo acts on this change of its archive.
    void keep_archive(const ArchiveChange& change);

    // A copy, move or compression is complete on disk: undo can take it back now.
    void completed();
    // Undo ran, whatever came of it: nothing is left to take back.
    void spent();

    // Undo of the compression the entry names (the earlier archive back, or the archive
    // removed), only while the archive is the one the compression left. True when that worked.
    bool undo_archive(const UndoEntry& entry);
    // Whether undo of archive puts an earlier archive back instead of deleting it.
    bool restores_earlier(const Path& archive) const;

Q_SIGNALS:
    void available(bool on);

private:
    UndoJournal& m_journal;
    ArchiveBackups m_archives;
};

} // namespace pelmora
