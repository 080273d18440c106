// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/lh5_encoder.h"

#include "lzh/bit_writer.h"
#include "lzh/lh5_block_grouper.h"
#include "lzh/lh5_block_writer.h"
#include "lzh/lh5_optimal_parser.h"
#include "lzh/lh5_segments.h"

#include <algorithm>
#include <deque>
#include <optional>

namespace pelmora {
namespace {

// A block of one symbol repeated, with no offset extra bits, takes no bits
// per symbol.
bool costsNoBits(const std::vector<lh5::Token>& block)
{
    const lh5::Token& first = block.front();
    return first.offset <= 1 && std::all_of(block.begin(), block.end(), [&](const lh5::Token& t) {
               return t.code == first.code && t.offset == first.offset;
           });
}

// Symbols in a member's last block (each at least one bit there, see
// Lh5BlockWriter).
constexpr std::size_t kLastBlockSymbols = Lh5BlockWriter::kMinLastBlockSymbols;

// Writes blocks to the sink, whole bytes after every block (the bit writer
// keeps the unfinished last byte). Blocks are held back while the ones after
// them hold fewer than kLastBlockSymbols symbols, so that the last block,
// written with `last` set, can be given that many.
class BlockStream final
{
public:
    BlockStream(const Lh5Encoder::Sink& sink, std::uint64_t limit, std::uint64_t& packedSize)
        : m_sink(sink), m_limit(limit), m_packed(packedSize), m_bits(m_out), m_writer(m_bits)
    {
        m_packed = 0;
    }

    // False once the output has reached the limit or could not be written.
    bool add(Lh5Blocks&& blocks)
    {
        for (std::vector<lh5::Token>& block : blocks) {
            m_heldSymbols += block.size();
            m_held.push_back(std::move(block));
            while (m_held.size() > 1 &&
                   m_heldSymbols - m_held.front().size() >= kLastBlockSymbols) {
                if (!write(m_held.front(), false))
                    return false;
                m_heldSymbols -= m_held.front().size();
                m_held.pop_front();
            }
        }
        return true;
    }

    Lh5Encoder::Result finish()
    {
        std::vector<lh5::Token> last;
        if (!m_held.empty()) {
            last = std::move(m_held.back());
            m_held.pop_back();
        }
        while (last.size() < kLastBlockSymbols && !m_held.empty()) {
            std::vector<lh5::Token>& before = m_held.back();
            const std::size_t take = std::min(kLastBlockSymbols - last.size(), before.size());
            last.insert(last.begin(), before.end() - static_cast<std::ptrdiff_t>(take),
                        before.end());
            before.resize(before.size() - take);
            if (before.empty())
                m_held.pop_back();
        }
        for (const std::vector<lh5::Token>& block : m_held)
            if (!write(block, false))
                return result();
        // Symbols that take no bits take one in the last block, so most of
        // such a block goes in a block of its own.
        if (last.size() > kLastBlockSymbols && costsNoBits(last)) {
            const auto cut = last.end() - static_cast<std::ptrdiff_t>(kLastBlockSymbols);
            if (!write({last.begin(), cut}, false))
                return result();
            last.erase(last.begin(), cut);
        }
        if (!last.empty() && !write(last, true))
            return result();
        m_bits.flush();
        if (m_packed + m_out.size() >= m_limit)
            return Lh5Encoder::Result::GaveUp;
        drain();
        return result();
    }

    Lh5Encoder::Result result() const
    {
        if (m_writeFailed)
            return Lh5Encoder::Result::WriteFailed;
        return m_packed + m_out.size() >= m_limit ? Lh5Encoder::Result::GaveUp
                                                  : Lh5Encoder::Result::Done;
    }

private:
    bool write(std::span<const lh5::Token> block, bool last)
    {
        m_writer.write(block, last);
        if (m_packed + m_out.size() >= m_limit)
            return false;
        drain();
        return !m_writeFailed;
    }

    void drain()
    {
        if (m_out.empty() || m_writeFailed)
            return;
        if (!m_sink(m_out))
            m_writeFailed = true;
        m_packed += m_out.size();
        m_out.clear();
    }

    const Lh5Encoder::Sink& m_sink;
    std::uint64_t m_limit;
    std::uint64_t& m_packed;
    std::vector<std::uint8_t> m_out;
    BitWriter m_bits;
    Lh5BlockWriter m_writer;
    std::deque<std::vector<lh5::Token>> m_held;
    std::size_t m_heldSymbols = 0;
    bool m_writeFailed = false;
};

// Reads the input segment by segment, each after the window's worth of bytes
// before it.
class SegmentReader final
{
public:
    explicit SegmentReader(const LzssMatcher::Reader& read) : m_read(read) {}

    // The next segment in `data` after `primed` bytes of window; false at the
    // end of the input or when reading failed.
    bool next(std::vector<std::uint8_t>& data, std::size_t& primed)
    {
        if (m_end)
            return false;
        data = m_window;
        primed = data.size();
        data.resize(primed + kSegmentBytes);
        std::size_t have = primed;
        while (have < data.size()) {
            const std::int64_t n = m_read(data.data() + have, data.size() - have);
            if (n < 0) {
                m_failed = true;
                m_end = true;
                return false;
            }
            if (n == 0) {
                m_end = true;
                break;
            }
            have += static_cast<std::size_t>(n);
        }
        data.resize(have);
        if (have == primed)
            return false;
        const std::size_t keep = std::min<std::size_t>(have, lh5::kWindowSize);
        m_window.assign(data.end() - static_cast<std::ptrdiff_t>(keep), data.end());
        return true;
    }

    bool failed() const { return m_failed; }

private:
    const LzssMatcher::Reader& m_read;
    std::vector<std::uint8_t> m_window;
    bool m_end = false;
    bool m_failed = false;
};

Lh5Encoder::Sink appendTo(std::vector<std::uint8_t>& packed)
{
    return [&packed](std::span<const std::uint8_t> piece) {
        packed.insert(packed.end(), piece.begin(), piece.end());
        return true;
    };
}

} // namespace

Lh5Encoder::Result Lh5Encoder::compress(const LzssMatcher::Reader& read, const Sink& sink,
                                        std::uint64_t limit, std::uint64_t& packedSize,
                                        unsigned threads)
{
    BlockStream stream(sink, limit, packedSize);
    SegmentReader reader(read);
    std::vector<std::uint8_t> data;
    std::size_t primed = 0;
    if (threads <= 1) {
        while (reader.next(data, primed))
            if (!stream.add(parse_segment(data, primed)))
                return stream.result();
    } else {
        // The reader stays a segment ahead of the workers, and no more than
        // that many segments wait, so memory stays bounded.
        SegmentPool pool(threads);
        bool more = true;
        for (;;) {
            while (more && pool.pending() <= threads) {
                more = reader.next(data, primed);
                if (more)
                    pool.submit(std::move(data), primed);
            }
            if (reader.failed())
                return Result::ReadFailed;
            if (pool.pending() == 0)
                break;
            if (!stream.add(pool.take_oldest()))
                return stream.result();
        }
    }
    if (reader.failed())
        return Result::ReadFailed;
    return stream.finish();
}

std::optional<std::vector<std::uint8_t>> Lh5Encoder::compress(std::span<const std::uint8_t> input,
                                                              std::size_t limit, unsigned threads)
{
    std::vector<std::uint8_t> packed;
    std::uint64_t size = 0;
    const Result r = compress(
        [input, at = std::size_t{0}](std::uint8_t* into, std::size_t n) mutable {
            n = std::min(n, input.size() - at);
            std::copy_n(input.data() + at, n, into);
            at += n;
            return static_cast<std::int64_t>(n);
        },
        appendTo(packed), limit, size, threads);
    if (r != Result::Done)
        return std::nullopt;
    return packed;
}

std::optional<std::vector<std::uint8_t>>
Lh5Encoder::compress_optimal(std::span<const std::uint8_t> input, std::size_t limit)
{
    const std::vector<lh5::Token> tokens = Lh5OptimalParser::parse(input);
    BlockGrouper grouper;
    Lh5Blocks blocks;
    for (std::size_t at = 0; at < tokens.size(); at += BlockGrouper::kPieceTokens) {
        const std::size_t n = std::min(BlockGrouper::kPieceTokens, tokens.size() - at);
        grouper.add(std::span(tokens).subspan(at, n), blocks);
    }
    grouper.finish(blocks);
    std::vector<std::uint8_t> packed;
    std::uint64_t size = 0;
    const Sink sink = appendTo(packed);
    BlockStream stream(sink, limit, size);
    if (!stream.add(std::move(blocks)) || stream.finish() != Result::Done)
        return std::nullopt;
    return packed;
}

} // namespace pelmora
