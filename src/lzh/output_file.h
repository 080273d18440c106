#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <span>
#include <sys/stat.h>

namespace pelmora {

// The new archive, written to a temporary file beside the target and put in
// place only when complete. Paths are the file system's exact bytes. A file
// that is never committed is removed.
class OutputFile final
{
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    bool create(const QByteArray& target);
    bool write(std::span<const std::uint8_t> bytes);
    bool write(const QByteArray& bytes);
    bool writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    bool truncate(std::uint64_t size);
    std::uint64_t size() const { return m_size; }

    // Puts the file in place of the target. An existing target keeps its
    // permissions and owner; one with several hard links is rewritten in
    // place (after its new size is reserved), so that every link sees the
    // new archive.
    bool commit(const struct stat* existing);

    int error() const { return m_errno; }

    // What went wrong, in Japanese, for the report.
    static QString describe(int error);

private:
    bool fail();
    bool rewriteInPlace();

    int m_fd = -1;
    int m_errno = 0;
    std::uint64_t m_size = 0;
    QByteArray m_target;
    QByteArray m_temp;
    bool m_committed = false;
};

} // namespace pelmora
