#pragma once

#include "lzh/lh5_format.h"

#include <array>
#include <cstdint>
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
// chains on 3-byte prefixes. Works on the whole input in memory and hands out
// the parse in pieces so the caller can emit blocks as it goes.
class LzssMatcher final
{
public:
    explicit LzssMatcher(std::span<const std::uint8_t> input);

    bool done() const { return pos_ >= input_.size(); }

    // Appends tokens until `out` holds `maxTokens` or the input is used up.
    void parse(std::vector<lh5::Token>& out, std::size_t maxTokens);

    // Short matches are taken only when they cost fewer bits than the
    // literals they replace under these codes; until the first call every
    // match is taken.
    void setCosts(const SymbolCosts& costs);

private:
    struct Match
    {
        unsigned length = 0;
        unsigned distance = 0;
    };

    Match longestMatch(std::size_t pos, unsigned atLeast) const;
    void insert(std::size_t pos);
    bool cheaperThanLiterals(const std::uint8_t* at, unsigned length, unsigned distance) const;

    std::span<const std::uint8_t> input_;
    std::size_t pos_ = 0;
    std::size_t inserted_ = 0;
    std::vector<std::int32_t> head_;
    std::vector<std::int32_t> prev_;
    SymbolCosts costs_;
    bool haveCosts_ = false;
};

} // namespace pelmora
