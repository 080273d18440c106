// SPDX-License-Identifier: GPL-3.0-or-later
// The undo journal: what the last copy, move, trash or compression did, so that it can be
// reverted. One entry per file, source and destination side by side.
#pragma once

#include "base/path.h"
#include "ports/shell.h"
#include "session/path_list.h"

#include <vector>

namespace pelmora {

// The kind of the last operation, numbered as the journal has always numbered it.
enum class UndoKind : int { None = 0, Compression = 1, Copy = 2, Move = 3, Trash = 4 };

struct UndoEntry
{
    Path src;
    Path dst;
    // The result as the operation left it: undo takes back only that file, unchanged.
    FileIdentity made{};
    // The file the result replaced, kept in the trash until undo puts it back.
    TrashedFile replaced{};
};

class UndoJournal final
{
public:
    UndoKind undo_kind() const { return m_kind; }
    const std::vector<UndoEntry>& entries() const { return m_entries; }
    qsizetype size() const { return qsizetype(m_entries.size()); }

    // Sources and destinations as lists: one empty path when there is nothing.
    PathList undo_src() const;
    PathList undo_dst() const;

    // Replaces the journal with the entries of one operation of the given kind.
    void record(UndoKind kind, std::vector<UndoEntry> entries);
    // Sets the kind alone; the entries stay.
    void set_kind(UndoKind kind) { m_kind = kind; }
    // Forgets the paths (after a failure); the kind stays.
    void clear_paths() { m_entries.clear(); }
    // True when there is nothing to revert: at most one entry, and its source blank.
    bool is_empty() const;

private:
    UndoKind m_kind = UndoKind::None;
    std::vector<UndoEntry> m_entries;
};

} // namespace pelmora
