// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps an archive that a compression is about to update, so that undoing the compression
// can put the earlier archive back instead of deleting members that were in it before.
// The copies live in a private temporary folder for the rest of the run.
#pragma once

#include <QString>
#include <memory>

class QTemporaryDir;

namespace pelmora {

class FileSystem;

class ArchiveBackups final
{
public:
    explicit ArchiveBackups(FileSystem& files);
    ~ArchiveBackups();
    ArchiveBackups(const ArchiveBackups&) = delete;
    ArchiveBackups& operator=(const ArchiveBackups&) = delete;

    // Before a compression into archive: copies it aside when it exists. False when an
    // existing archive could not be kept (the compression must not go on then).
    bool prepare(const QString& archive);
    // The compression succeeded: its undo now restores (or deletes) this archive.
    void commit();
    // The compression failed: nothing to keep.
    void discard();

    // Undo of the last compression: puts the earlier archive back where there was one,
    // deletes the archive otherwise. True when that worked.
    bool undo(const QString& archive);
    // Whether undo(archive) puts an earlier archive back instead of deleting it.
    bool restores(const QString& archive) const;

private:
    QString take_slot();

    FileSystem& m_files;
    std::unique_ptr<QTemporaryDir> m_dir;
    int m_counter = 0;
    QString m_pendingArchive, m_pendingCopy; // the compression running now
    QString m_lastArchive, m_lastCopy;       // the last one that succeeded
};

} // namespace pelmora
