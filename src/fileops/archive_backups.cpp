// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/archive_backups.h"

#include "ports/file_system.h"

#include <QFile>
#include <QTemporaryDir>
#include <sys/stat.h>

namespace pelmora {

ArchiveBackups::ArchiveBackups(FileSystem& files) : m_files(files) {}
ArchiveBackups::~ArchiveBackups() = default;

QString ArchiveBackups::take_slot()
{
    if (!m_dir) {
        m_dir = std::make_unique<QTemporaryDir>();
        if (!m_dir->isValid())
            return {};
        ::chmod(QFile::encodeName(m_dir->path()).constData(), 0700);
    }
    return m_dir->filePath(QStringLiteral("archive-%1.lzh").arg(++m_counter));
}

bool ArchiveBackups::prepare(const QString& archive)
{
    discard();
    m_pendingArchive = archive;
    if (m_files.kind(archive, false) == PathKind::Missing)
        return true;
    const QString slot = take_slot();
    if (slot.isEmpty() || !m_files.copy_new(archive, slot))
        return false;
    m_pendingCopy = slot;
    return true;
}

void ArchiveBackups::commit()
{
    if (!m_lastCopy.isEmpty() && m_lastCopy != m_pendingCopy)
        m_files.remove_file(m_lastCopy);
    m_lastArchive = m_pendingArchive;
    m_lastCopy = m_pendingCopy;
    m_pendingArchive.clear();
    m_pendingCopy.clear();
}

void ArchiveBackups::discard()
{
    if (!m_pendingCopy.isEmpty())
        m_files.remove_file(m_pendingCopy);
    m_pendingArchive.clear();
    m_pendingCopy.clear();
}

bool ArchiveBackups::restores(const QString& archive) const
{
    return archive == m_lastArchive && !m_lastCopy.isEmpty();
}

bool ArchiveBackups::undo(const QString& archive)
{
    if (archive == m_lastArchive && !m_lastCopy.isEmpty())
        return m_files.copy_over(m_lastCopy, archive);
    return m_files.remove_file(archive);
}

} // namespace pelmora
