// SPDX-License-Identifier: GPL-3.0-or-later
// The cost-driven -lh5- parse of a member held in memory.
#pragma once

#include "lzh/lh5_format.h"

#include <cstdint>
#include <span>
#include <vector>

namespace pelmora {

// Near-optimal -lh5- parse of a member held in memory. Every match at every
// position is found once, with a binary-tree match finder over the 8 KiB
// window; then a shortest-path search over the bit costs of the symbols picks
// the parse, in a few passes, each priced with the codes the previous one
// would get. Costlier than the greedy parse with lazy evaluation, so it is
// kept for members small enough to read whole, where it pays most: there the
// tables are a large part of the output, and the search learns to keep to
// the symbols the block already uses.
class Lh5OptimalParser final
{
public:
    static std::vector<lh5::Token> parse(std::span<const std::uint8_t> input);
};

} // namespace pelmora
