// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/member_writer.h"

#include "lzh/at_path.h"
#include "lzh/crc16.h"
#include "lzh/lh5_encoder.h"
#include "lzh/lzh_header_writer.h"
#include "lzh/member_name.h"
#include "lzh/member_output.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelmora {
namespace {

constexpr std::uint64_t kMaxMemberSize = 0xFFFFFFFFull;
// The sampled trial: files of at least kTrialMinSize are probed at
// kTrialSamples evenly spread points of kTrialSampleSize bytes each.
constexpr std::uint64_t kTrialMinSize = std::uint64_t{1} << 20;
constexpr std::size_t kTrialSamples = 8;
constexpr std::size_t kTrialSampleSize = std::size_t{64} << 10;
// Members up to this size are read whole and given the near-optimal parse:
// on small files the parse and the tables are most of the difference, and
// the search costs little there.
constexpr std::uint64_t kSmallMember = std::uint64_t{128} << 10;

class FileCloser final
{
public:
    explicit FileCloser(int fd) : m_fd(fd) {}
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;
    ~FileCloser()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

private:
    int m_fd;
};

std::int64_t readSome(int fd, std::uint8_t* into, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::read(fd, into, size);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Reads all of a small file, `expected` bytes long when it was looked at;
// false on a read error or when it turns out larger than `limit`. The buffer
// starts at the expected size: a large one for every small file would cost
// more than reading it.
bool readWhole(int fd, std::uint64_t expected, std::uint64_t limit, std::vector<std::uint8_t>& out)
{
    out.resize(static_cast<std::size_t>(std::min(expected, limit)) + 1);
    std::size_t have = 0;
    for (;;) {
        if (have == out.size())
            out.resize(std::min<std::size_t>(static_cast<std::size_t>(limit) + 1, 2 * have));
        const std::int64_t n = readSome(fd, out.data() + have, out.size() - have);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        have += static_cast<std::size_t>(n);
        if (have > limit)
            return false;
    }
    out.resize(have);
    return true;
}

} // namespace

bool looks_incompressible(int fd, std::uint64_t size)
{
    if (size < kTrialMinSize)
        return false;
    std::vector<std::uint8_t> sample(kTrialSampleSize);
    for (std::size_t i = 0; i < kTrialSamples; ++i) {
        const std::uint64_t at = (size - kTrialSampleSize) * i / (kTrialSamples - 1);
        const ssize_t n = ::pread(fd, sample.data(), sample.size(), static_cast<off_t>(at));
        if (n <= 0)
            return false;
        if (Lh5Encoder::compress(std::span(sample.data(), static_cast<std::size_t>(n)),
                                 static_cast<std::size_t>(n)))
            return false;
    }
    return true;
}

MemberFailure write_member(MemberOutput& out, const SourceFile& source, WrittenMember& result,
                           QString& why, unsigned threads)
{
    const int fd = open_at_path(source.path, O_RDONLY);
    if (fd < 0) {
        why = systemError(errno);
        return MemberFailure::ReadFailed;
    }
    const FileCloser closer(fd);
    struct stat st
    {};
    if (::fstat(fd, &st) != 0) {
        why = systemError(errno);
        return MemberFailure::ReadFailed;
    }
    const EncodedName name = encode_member_name(source.storedPath);
    NewMemberHeader h;
    h.method = "-lh5-";
    // lhasa takes a time of 0 for none and stamps the file with the present;
    // one second on keeps the date.
    h.mtime = static_cast<std::uint32_t>(std::clamp<std::int64_t>(st.st_mtime, 1, 0xFFFFFFFFll));
    h.path = name.bytes;
    h.codePage = name.codePage;
    h.unixMode = static_cast<std::uint16_t>(0100000 | (st.st_mode & 0777));

    // The header goes first with its sizes and CRC still open; it is written
    // again over itself once they are known (its length does not change).
    const std::uint64_t headerAt = out.size();
    if (!out.write(write_level2_header(h)))
        return MemberFailure::WriteFailed;
    const std::uint64_t dataAt = out.size();

    Crc16 crc;
    std::uint64_t original = 0;
    bool tooLarge = false;
    int readError = 0; // errno of a failed read, before other calls change it
    auto reader = [&](std::uint8_t* into, std::size_t size) -> std::int64_t {
        const std::int64_t n = readSome(fd, into, size);
        if (n < 0)
            readError = errno;
        if (n > 0) {
            crc.update(std::span(into, static_cast<std::size_t>(n)));
            original += static_cast<std::uint64_t>(n);
            if (original > kMaxMemberSize) {
                tooLarge = true;
                return -1;
            }
        }
        return n;
    };

    bool store = looks_incompressible(fd, static_cast<std::uint64_t>(st.st_size));
    std::uint64_t packed = 0;
    std::vector<std::uint8_t> whole;
    const bool small = st.st_size >= 0 && static_cast<std::uint64_t>(st.st_size) <= kSmallMember &&
                       readWhole(fd, static_cast<std::uint64_t>(st.st_size), kSmallMember, whole);
    if (!small && ::lseek(fd, 0, SEEK_SET) != 0) {
        why = systemError(errno);
        return MemberFailure::ReadFailed;
    }
    if (small) {
        crc.update(whole);
        original = whole.size();
        const std::optional<std::vector<std::uint8_t>> bestPacked =
            Lh5Encoder::compress_optimal(whole, whole.size());
        store = !bestPacked;
        if (bestPacked) {
            if (!out.write(*bestPacked))
                return MemberFailure::WriteFailed;
            packed = bestPacked->size();
        } else {
            if (!out.write(whole))
                return MemberFailure::WriteFailed;
            packed = original;
        }
    } else if (!store) {
        const auto limit = static_cast<std::uint64_t>(std::max<off_t>(st.st_size, 0));
        const Lh5Encoder::Result r = Lh5Encoder::compress(
            reader, [&](std::span<const std::uint8_t> piece) { return out.write(piece); }, limit,
            packed, threads);
        if (tooLarge) {
            why = QStringLiteral("4GB 以上になりました");
            return MemberFailure::TooLarge;
        }
        if (r == Lh5Encoder::Result::ReadFailed) {
            why = systemError(readError);
            return MemberFailure::ReadFailed;
        }
        if (r == Lh5Encoder::Result::WriteFailed)
            return MemberFailure::WriteFailed;
        // A file that grew while it was read may have compressed to no less
        // than what was read.
        store = r == Lh5Encoder::Result::GaveUp || packed >= original;
    }
    if (store && small) {
        h.method = "-lh0-";
    } else if (store) {
        if (!out.truncate(dataAt))
            return MemberFailure::WriteFailed;
        if (::lseek(fd, 0, SEEK_SET) != 0) {
            why = systemError(errno);
            return MemberFailure::ReadFailed;
        }
        crc = Crc16();
        original = 0;
        std::vector<std::uint8_t> chunk(std::size_t{1} << 18);
        for (;;) {
            const std::int64_t n = reader(chunk.data(), chunk.size());
            if (tooLarge) {
                why = QStringLiteral("4GB 以上になりました");
                return MemberFailure::TooLarge;
            }
            if (n < 0) {
                why = systemError(readError);
                return MemberFailure::ReadFailed;
            }
            if (n == 0)
                break;
            if (!out.write(std::span(chunk.data(), static_cast<std::size_t>(n))))
                return MemberFailure::WriteFailed;
        }
        packed = original;
        h.method = "-lh0-";
    }
    h.originalSize = static_cast<std::uint32_t>(original);
    h.packedSize = static_cast<std::uint32_t>(packed);
    h.dataCrc = crc.value();
    if (!out.write_at(headerAt, write_level2_header(h)))
        return MemberFailure::WriteFailed;
    result = {store, h.originalSize, h.packedSize};
    return MemberFailure::None;
}

} // namespace pelmora
