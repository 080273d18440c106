#include "lzh/lh5_encoder.h"

#include "lzh/bit_writer.h"
#include "lzh/huffman_code.h"
#include "lzh/lh5_block_writer.h"
#include "lzh/lh5_optimal_parser.h"
#include "lzh/lzss_matcher.h"

#include <algorithm>

namespace pelmora {
namespace {

// Blocks are grown in pieces of this many symbols; a piece joins the current
// block only when one shared set of tables codes both more cheaply than two.
// That keeps tables small on uniform data and follows changes (text next to
// tables in one document) where they happen.
constexpr std::size_t kPieceTokens = 1024;

SymbolCosts costsOf(const BlockFrequencies& freq)
{
    SymbolCosts costs;
    const HuffmanCode c = HuffmanCode::build(freq.c);
    const HuffmanCode p = HuffmanCode::build(freq.p);
    std::copy(c.lengths().begin(), c.lengths().end(), costs.c.begin());
    std::copy(p.lengths().begin(), p.lengths().end(), costs.p.begin());
    return costs;
}

enum class Piece { More, End, ReadFailed };

// Writes the tokens that `next` hands out, piece by piece, as blocks, and
// tells `learn` the counts of the block being built after every piece.
template <typename Next, typename Learn>
Lh5Encoder::Result writeBlocks(Next&& next, Learn&& learn, const Lh5Encoder::Sink& sink,
                               std::uint64_t limit, std::uint64_t& packedSize)
{
    packedSize = 0;
    std::vector<std::uint8_t> out;
    out.reserve(1 << 17);
    BitWriter bits(out);
    Lh5BlockWriter writer(bits);

    std::vector<lh5::Token> block;
    BlockFrequencies blockFreq;
    std::uint64_t blockCost = 0;
    std::vector<lh5::Token> piece;
    piece.reserve(kPieceTokens);
    bool writeFailed = false;

    // Whole bytes go to the sink after every block; the bit writer keeps the
    // unfinished last byte.
    auto drain = [&]() {
        if (out.empty() || writeFailed)
            return;
        if (!sink(out))
            writeFailed = true;
        packedSize += out.size();
        out.clear();
    };
    auto flushBlock = [&](bool last) {
        if (!block.empty())
            writer.write(block, last);
        block.clear();
        blockFreq = {};
        blockCost = 0;
        if (packedSize + out.size() < limit)
            drain();
    };

    for (;;) {
        piece.clear();
        const Piece got = next(piece);
        if (got == Piece::ReadFailed)
            return Lh5Encoder::Result::ReadFailed;
        if (got == Piece::End)
            break;
        BlockFrequencies pieceFreq;
        for (const lh5::Token& t : piece)
            pieceFreq.add(t);
        const std::uint64_t pieceCost = Lh5BlockWriter::costBits(pieceFreq);

        bool join = false;
        std::uint64_t joinedCost = 0;
        BlockFrequencies joined = blockFreq;
        if (!block.empty() && block.size() + piece.size() <= lh5::kMaxBlockSymbols) {
            joined.add(pieceFreq);
            joinedCost = Lh5BlockWriter::costBits(joined);
            join = joinedCost <= blockCost + pieceCost;
        }
        if (!join) {
            flushBlock(false);
            joined = pieceFreq;
            joinedCost = pieceCost;
        }
        block.insert(block.end(), piece.begin(), piece.end());
        blockFreq = joined;
        blockCost = joinedCost;
        learn(blockFreq);
        if (writeFailed)
            return Lh5Encoder::Result::WriteFailed;
        if (packedSize + out.size() >= limit)
            return Lh5Encoder::Result::GaveUp;
    }
    flushBlock(true);
    bits.flush();
    if (packedSize + out.size() >= limit)
        return Lh5Encoder::Result::GaveUp;
    drain();
    return writeFailed ? Lh5Encoder::Result::WriteFailed : Lh5Encoder::Result::Done;
}

Lh5Encoder::Sink appendTo(std::vector<std::uint8_t>& packed)
{
    return [&packed](std::span<const std::uint8_t> piece) {
        packed.insert(packed.end(), piece.begin(), piece.end());
        return true;
    };
}

} // namespace

Lh5Encoder::Result Lh5Encoder::compress(LzssMatcher::Reader read, const Sink& sink,
                                        std::uint64_t limit, std::uint64_t& packedSize,
                                        const MatchTuning& tuning)
{
    LzssMatcher matcher(std::move(read), tuning);
    return writeBlocks(
        [&](std::vector<lh5::Token>& piece) {
            if (matcher.done())
                return matcher.readFailed() ? Piece::ReadFailed : Piece::End;
            matcher.parse(piece, kPieceTokens);
            return matcher.readFailed() ? Piece::ReadFailed : Piece::More;
        },
        [&](const BlockFrequencies& freq) { matcher.setCosts(costsOf(freq)); }, sink, limit,
        packedSize);
}

std::optional<std::vector<std::uint8_t>> Lh5Encoder::compress(std::span<const std::uint8_t> input,
                                                              std::size_t limit,
                                                              const MatchTuning& tuning)
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
        appendTo(packed), limit, size, tuning);
    if (r != Result::Done)
        return std::nullopt;
    return packed;
}

std::optional<std::vector<std::uint8_t>>
Lh5Encoder::compressOptimal(std::span<const std::uint8_t> input, std::size_t limit)
{
    const std::vector<lh5::Token> tokens = Lh5OptimalParser::parse(input);
    std::vector<std::uint8_t> packed;
    std::uint64_t size = 0;
    std::size_t at = 0;
    const Result r = writeBlocks(
        [&](std::vector<lh5::Token>& piece) {
            if (at == tokens.size())
                return Piece::End;
            const std::size_t n = std::min(kPieceTokens, tokens.size() - at);
            piece.assign(tokens.begin() + static_cast<std::ptrdiff_t>(at),
                         tokens.begin() + static_cast<std::ptrdiff_t>(at + n));
            at += n;
            return Piece::More;
        },
        [](const BlockFrequencies&) {}, appendTo(packed), limit, size);
    if (r != Result::Done)
        return std::nullopt;
    return packed;
}

} // namespace pelmora
