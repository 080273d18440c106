// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/archive_backups.h"

#include "session/undo_journal.h"

namespace pelmora {

ArchiveBackups::ArchiveBackups(ArchiveFiles* files) : m_files(files) {}

ArchiveBackups::~ArchiveBackups()
{
    if (m_files && !m_last.kept.is_empty())
        m_files->forget(m_last);
}

void ArchiveBackups::commit(const ArchiveChange& change)
{
    if (m_files && !m_last.kept.is_empty() && m_last.kept != change.kept)
        m_files->forget(m_last);
    m_last = change;
}

bool ArchiveBackups::restores(const Path& archive) const
{
    return archive == m_last.archive && !m_last.kept.is_empty();
}

bool ArchiveBackups::undo(const UndoEntry& entry)
{
    if (!m_files)
        return false;
    if (entry.dst == m_last.archive && entry.made.same_file(m_last.made)) {
        if (!m_files->undo(m_last))
            return false;
        m_last = ArchiveChange{};
        return true;
    }
    // A journal this run did not write itself: the archive it names is removed, while it
    // is still the file the journal recorded.
    return m_files->undo(ArchiveChange{entry.dst, entry.dst, Path(), entry.made});
}

} // namespace pelmora
