// SPDX-License-Identifier: GPL-3.0-or-later
// The streaming LZSS match finder and greedy parse.
#pragma once

#include "lzh/lh5_format.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace pelmora {

// Code lengths in bits of the literal/length and offset symbols, as the block
// being built would code them. A length of 0 means the symbol is not in use.
struct SymbolCosts
{
    std::array<std::uint8_t, lh5::kNumC> c{};
    std::array<std::uint8_t, lh5::kNumP> p{};
};

// Greedy-with-lazy-evaluation LZSS parse over the lh5 window, using hash
// chains on 3-byte prefixes. Reads its input through a bounded buffer (the
// window, the longest match and a read-ahead), so memory does not grow with
// the input, and hands out the parse in pieces so the caller can emit blocks
// as it goes.
class LzssMatcher final
{
public:
    // Fills up to `size` bytes at `into`; returns the count, 0 at the end, or
    // a negative value when reading failed.
    using Reader = std::function<std::int64_t(std::uint8_t* into, std::size_t size)>;

    // The first `primed` bytes of the input (at most the window) are only
    // there to be referred to: the parse starts after them.
    explicit LzssMatcher(Reader read, std::size_t primed = 0);
    explicit LzssMatcher(std::span<const std::uint8_t> input, std::size_t primed = 0);

    bool done() const { return readFailed_ || (eof_ && pos_ >= end_); }
    bool read_failed() const { return readFailed_; }

    // Appends tokens until `out` holds `maxTokens` or the input is used up.
    void parse(std::vector<lh5::Token>& out, std::size_t maxTokens);

    // Short matches are taken only when they cost fewer bits than the
    // literals they replace under these codes; until the first call every
    // match is taken.
    void set_costs(const SymbolCosts& costs);

private:
    struct Match
    {
        unsigned length = 0;
        unsigned distance = 0;
    };

    Match longest_match(std::size_t pos, unsigned atLeast) const;
    void insert(std::size_t pos);
    // Makes sure the bytes up to `pos_` + the read-ahead are buffered, or all
    // that is left of the input.
    void fill();
    void slide();

    Reader read_;
    std::vector<std::uint8_t> buffer_;
    std::size_t end_ = 0; // buffered bytes
    bool eof_ = false;
    bool readFailed_ = false;
    // Positions are offsets in `buffer_`; sliding the buffer moves them all
    // down by the same multiple of the window size.
    std::size_t pos_ = 0;
    std::size_t inserted_ = 0;
    std::vector<std::int32_t> head_;
    std::vector<std::int32_t> prev_;
    // Bits of each literal/length symbol and of each offset slot with its
    // extra bits, under the codes last set.
    std::array<std::uint16_t, lh5::kNumC> cBits_{};
    std::array<std::uint16_t, lh5::kNumP> slotBits_{};
    bool haveCosts_ = false;
};

} // namespace pelmora
