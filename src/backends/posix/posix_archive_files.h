// SPDX-License-Identifier: GPL-3.0-or-later
// The archive files port on POSIX calls, for paths of any length. An update locks the
// existing archive (flock) from the moment it is opened for reading until the new archive has
// taken its name, writes the new archive under a hidden temporary name in the same folder,
// syncs it, has it read back, and swaps the two names in one step (renameat2 with
// RENAME_EXCHANGE); the old archive then gets a hidden name of its own for undo. It refuses
// when the old archive changed meanwhile (device, inode, size, modification or change time),
// and when the file it swapped out is not the one it checked it swaps back. Undo swaps the
// kept archive back the same way, so it returns with its inode, mode, owner and group. Where
// the file system cannot swap in one step, the archive's name gets the new file by one rename
// over it, after the old file got a second link: the name holds a whole archive at every moment.
#pragma once

#include "ports/archive_files.h"

#include <functional>

namespace pelmora {

class PosixArchiveFiles final : public ArchiveFiles
{
public:
    std::unique_ptr<ArchiveListFile> write_list(const QByteArray& bytes) override;
    std::unique_ptr<ArchiveUpdate> begin(const Path& path) override;
    bool undo(const ArchiveChange& change) override;
    void forget(const ArchiveChange& change) override;

    // Tests: runs between an update's last check of the old archive and its swap.
    void set_before_swap(std::function<void()> hook) { m_before_swap = std::move(hook); }

private:
    std::function<void()> m_before_swap;
};

} // namespace pelmora
