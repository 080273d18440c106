// SPDX-License-Identifier: GPL-3.0-or-later
// The new archive file, put in place only when complete.
#pragma once

#include "lzh/member_output.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <span>
#include <sys/stat.h>

namespace pelmora {

// The new archive, written to a temporary file beside the target and put in
// place only when complete, or into a file its caller opened (attach). Paths
// are the file system's exact bytes. A file that is never committed is removed.
class OutputFile final : public MemberOutput
{
public:
    OutputFile() = default;
    ~OutputFile() override;

    bool create(const QByteArray& target);
    // Writes into fd from its start instead; the file stays its caller's (never
    // closed, renamed or removed here).
    void attach(int fd)
    {
        m_fd = fd;
        m_attached = true;
    }
    bool write(std::span<const std::uint8_t> bytes) override;
    bool write(const QByteArray& bytes);
    bool write_at(std::uint64_t offset, std::span<const std::uint8_t> bytes) override;
    bool truncate(std::uint64_t size) override;
    std::uint64_t size() const override { return m_size; }

    // Syncs the file and renames it over the target. An existing target keeps
    // its permissions and owner; its other hard links keep the old archive (as
    // other archivers leave them), since a rewrite in place could leave a
    // damaged archive behind.
    bool commit(const struct stat* existing);

    int error() const { return m_errno; }

    // What went wrong, in Japanese, for the report.
    static QString describe(int error);

private:
    bool fail();

    int m_fd = -1;
    int m_errno = 0;
    std::uint64_t m_size = 0;
    QByteArray m_target;
    QByteArray m_temp;
    bool m_committed = false;
    bool m_attached = false;
};

} // namespace pelmora
