// SPDX-License-Identifier: GPL-3.0-or-later
// Deciding where the -lh5- blocks of a parse begin and end.
#pragma once

#include "lzh/lh5_block_writer.h"
#include "lzh/lh5_format.h"

#include <cstdint>
#include <span>
#include <vector>

namespace pelmora {

using Lh5Blocks = std::vector<std::vector<lh5::Token>>;

// Groups the symbols of a parse into blocks. They come in pieces of up to
// kPieceTokens; a piece joins the current block only when one shared set of
// tables codes both more cheaply than two. That keeps tables small on uniform
// data and follows changes (text next to tables in one document) where they
// happen.
class BlockGrouper final
{
public:
    static constexpr std::size_t kPieceTokens = 1024;

    // Adds `piece`; when it starts a new block, the one before is moved to
    // `finished`.
    void add(std::span<const lh5::Token> piece, Lh5Blocks& finished);
    // The counts of the block being built.
    const BlockFrequencies& counts() const { return m_freq; }
    // Moves the block being built, if any, to `finished`.
    void finish(Lh5Blocks& finished);

private:
    std::vector<lh5::Token> m_block;
    BlockFrequencies m_freq;
    std::uint64_t m_cost = 0;
};

} // namespace pelmora
