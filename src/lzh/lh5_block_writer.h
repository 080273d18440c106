// SPDX-License-Identifier: GPL-3.0-or-later
// Writing one -lh5- block: its code tables and coded symbols.
#pragma once

#include "lzh/bit_writer.h"
#include "lzh/lh5_format.h"

#include <array>
#include <cstdint>
#include <span>

namespace pelmora {

// Symbol counts of a run of tokens, the input of a block's code tables.
struct BlockFrequencies
{
    std::array<std::uint32_t, lh5::kNumC> c{};
    std::array<std::uint32_t, lh5::kNumP> p{};
    std::size_t tokens = 0;

    void add(const lh5::Token& t);
    void add(const BlockFrequencies& other);
};

// Writes one lh5 block: the 16-bit symbol count, the three code-length tables
// (the "pt" table that codes the literal/length lengths, the literal/length
// table, the offset table) and then the symbols themselves.
class Lh5BlockWriter final
{
public:
    // Symbols a member's last block carries at least: libarchive (bsdtar)
    // reads up to 16 bits ahead while it reads a block's tables and fails
    // when the data ends within them.
    static constexpr std::size_t kMinLastBlockSymbols = 64;

    explicit Lh5BlockWriter(BitWriter& bits) : bits_(bits) {}

    // `last`: the member's final block, shaped for readers that peek past
    // the last symbol; it may go out as two blocks, the second of
    // kMinLastBlockSymbols symbols.
    void write(std::span<const lh5::Token> tokens, bool last);

    // Size in bits of a block with these counts, tables included and the
    // offsets' plain extra bits left out (they do not depend on the split).
    static std::uint64_t cost_bits(const BlockFrequencies& freq);

private:
    BitWriter& bits_;
};

} // namespace pelmora
