#include "fileops/archive_backups.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>

namespace pelmora {
namespace {

// Writes a copy beside the target first and renames it into place, so the archive is whole
// at every moment.
bool copy_over(const QString& from, const QString& to)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QSaveFile out(to);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
            return false;
        if (out.write(chunk) != chunk.size())
            return false;
    }
    return out.commit();
}

} // namespace

ArchiveBackups::ArchiveBackups() = default;
ArchiveBackups::~ArchiveBackups() = default;

QString ArchiveBackups::take_slot()
{
    if (!m_dir) {
        m_dir = std::make_unique<QTemporaryDir>();
        if (!m_dir->isValid())
            return {};
        QFile::setPermissions(m_dir->path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    return m_dir->filePath(QStringLiteral("archive-%1.lzh").arg(++m_counter));
}

bool ArchiveBackups::prepare(const QString& archive)
{
    discard();
    m_pendingArchive = archive;
    if (!QFileInfo::exists(archive))
        return true;
    const QString slot = take_slot();
    if (slot.isEmpty() || !QFile::copy(archive, slot))
        return false;
    m_pendingCopy = slot;
    return true;
}

void ArchiveBackups::commit()
{
    if (!m_lastCopy.isEmpty() && m_lastCopy != m_pendingCopy)
        QFile::remove(m_lastCopy);
    m_lastArchive = m_pendingArchive;
    m_lastCopy = m_pendingCopy;
    m_pendingArchive.clear();
    m_pendingCopy.clear();
}

void ArchiveBackups::discard()
{
    if (!m_pendingCopy.isEmpty())
        QFile::remove(m_pendingCopy);
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
        return copy_over(m_lastCopy, archive);
    return QFile::remove(archive);
}

} // namespace pelmora
