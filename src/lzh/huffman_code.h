// SPDX-License-Identifier: GPL-3.0-or-later
// Length-limited canonical Huffman codes for the -lh5- tables.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace pelmora {

// A canonical Huffman code limited to 16-bit code lengths, as the lh5 trees
// require. Codes are assigned in order of (length, symbol), which is how LHA
// decoders rebuild their tables from the transmitted lengths.
class HuffmanCode final
{
public:
    static constexpr unsigned kMaxLength = 16;

    // Builds the code for `freq`, no code longer than `maxLength` bits (at
    // most kMaxLength; raised to what the number of used symbols needs). With
    // fewer than two used symbols there is no tree: `single()` then names the
    // one symbol (0 when none is used), which the lh5 block layout sends as a
    // bare symbol number instead of a length table.
    static HuffmanCode build(std::span<const std::uint32_t> freq, unsigned maxLength = kMaxLength);

    // The canonical code for lengths that form a complete prefix code of at
    // least two symbols.
    static HuffmanCode from_lengths(std::span<const std::uint8_t> lengths);

    bool single() const { return single_; }
    unsigned single_symbol() const { return singleSymbol_; }
    const std::vector<std::uint8_t>& lengths() const { return lengths_; }
    const std::vector<std::uint16_t>& codes() const { return codes_; }

private:
    void assign_codes();

    std::vector<std::uint8_t> lengths_;
    std::vector<std::uint16_t> codes_;
    bool single_ = false;
    unsigned singleSymbol_ = 0;
};

} // namespace pelmora
