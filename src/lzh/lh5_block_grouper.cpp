// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/lh5_block_grouper.h"

namespace pelmora {

void BlockGrouper::add(std::span<const lh5::Token> piece, Lh5Blocks& finished)
{
    BlockFrequencies pieceFreq;
    for (const lh5::Token& t : piece)
        pieceFreq.add(t);
    const std::uint64_t pieceCost = Lh5BlockWriter::cost_bits(pieceFreq);

    if (!m_block.empty() && m_block.size() + piece.size() <= lh5::kMaxBlockSymbols) {
        BlockFrequencies joined = m_freq;
        joined.add(pieceFreq);
        const std::uint64_t joinedCost = Lh5BlockWriter::cost_bits(joined);
        if (joinedCost <= m_cost + pieceCost) {
            m_block.insert(m_block.end(), piece.begin(), piece.end());
            m_freq = joined;
            m_cost = joinedCost;
            return;
        }
    }
    finish(finished);
    m_block.assign(piece.begin(), piece.end());
    m_freq = pieceFreq;
    m_cost = pieceCost;
}

void BlockGrouper::finish(Lh5Blocks& finished)
{
    if (!m_block.empty())
        finished.push_back(std::move(m_block));
    m_block.clear();
    m_freq = {};
    m_cost = 0;
}

} // namespace pelmora
