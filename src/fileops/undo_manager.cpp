// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/undo_manager.h"

namespace pelmora {

UndoManager::UndoManager(UndoJournal& journal, ArchiveFiles* files, QObject* parent)
    : QObject(parent), m_journal(journal), m_archives(files)
{}

void UndoManager::record(UndoKind kind, std::vector<UndoEntry> entries)
{
    m_journal.record(kind, std::move(entries));
}

void UndoManager::set_kind(UndoKind kind)
{
    m_journal.set_kind(kind);
}

void UndoManager::clear_paths()
{
    m_journal.clear_paths();
}

void UndoManager::keep_archive(const ArchiveChange& change)
{
    m_archives.commit(change);
}

void UndoManager::completed()
{
    Q_EMIT available(true);
}

void UndoManager::spent()
{
    Q_EMIT available(false);
}

bool UndoManager::undo_archive(const UndoEntry& entry)
{
    return m_archives.undo(entry);
}

bool UndoManager::restores_earlier(const Path& archive) const
{
    return m_archives.restores(archive);
}

} // namespace pelmora
