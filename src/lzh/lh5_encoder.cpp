#include "lzh/lh5_encoder.h"

#include "lzh/bit_writer.h"
#include "lzh/huffman_code.h"
#include "lzh/lh5_block_writer.h"
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

} // namespace

std::optional<std::vector<std::uint8_t>> Lh5Encoder::compress(std::span<const std::uint8_t> input,
                                                              std::size_t limit)
{
    std::vector<std::uint8_t> out;
    out.reserve(std::min(limit, input.size() / 2 + 1024));
    BitWriter bits(out);
    Lh5BlockWriter writer(bits);
    LzssMatcher matcher(input);

    std::vector<lh5::Token> block;
    BlockFrequencies blockFreq;
    std::uint64_t blockCost = 0;
    std::vector<lh5::Token> piece;
    piece.reserve(kPieceTokens);

    auto flushBlock = [&]() {
        if (!block.empty())
            writer.write(block);
        block.clear();
        blockFreq = {};
        blockCost = 0;
    };

    while (!matcher.done()) {
        piece.clear();
        matcher.parse(piece, kPieceTokens);
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
            flushBlock();
            joined = pieceFreq;
            joinedCost = pieceCost;
        }
        block.insert(block.end(), piece.begin(), piece.end());
        blockFreq = joined;
        blockCost = joinedCost;
        matcher.setCosts(costsOf(blockFreq));
        if (out.size() >= limit)
            return std::nullopt;
    }
    flushBlock();
    bits.flush();
    if (out.size() >= limit)
        return std::nullopt;
    return out;
}

} // namespace pelmora
