// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/undo_journal.h"

namespace pelmora {

namespace {
template <typename Part> PathList path_list(const std::vector<UndoEntry>& entries, Part part)
{
    if (entries.empty())
        return empty_path_list();
    PathList l;
    l.reserve(qsizetype(entries.size()));
    for (const UndoEntry& e : entries)
        l.append(e.*part);
    return l;
}
} // namespace

PathList UndoJournal::undo_src() const
{
    return path_list(m_entries, &UndoEntry::src);
}

PathList UndoJournal::undo_dst() const
{
    return path_list(m_entries, &UndoEntry::dst);
}

void UndoJournal::record(UndoKind kind, std::vector<UndoEntry> entries)
{
    m_kind = kind;
    m_entries = std::move(entries);
}

bool UndoJournal::is_empty() const
{
    return m_entries.size() <= 1 && (m_entries.empty() || m_entries.front().src.is_blank());
}

} // namespace pelmora
