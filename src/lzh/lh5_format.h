// SPDX-License-Identifier: GPL-3.0-or-later
// Constants and token type of the -lh5- method.
#pragma once

#include <bit>
#include <cstdint>

namespace pelmora::lh5 {

// Parameters of the -lh5- method: 8 KiB window, matches of 3..256 bytes.
inline constexpr unsigned kDictBits = 13;
inline constexpr unsigned kWindowSize = 1u << kDictBits;
inline constexpr unsigned kMinMatch = 3;
inline constexpr unsigned kMaxMatch = 256;

// Alphabet sizes and the bit widths of their counts in a block header.
inline constexpr unsigned kNumChar = 256 + kMaxMatch - kMinMatch + 1; // literals + lengths
inline constexpr unsigned kNumC = kNumChar + 1;                       // 510, as in LHA
inline constexpr unsigned kCBits = 9;
inline constexpr unsigned kNumP = kDictBits + 1;
inline constexpr unsigned kPBits = 4;
inline constexpr unsigned kNumT = 19;
inline constexpr unsigned kTBits = 5;

// A block's symbol count travels in 16 bits.
inline constexpr unsigned kMaxBlockSymbols = 0xFFFF;

// One step of the LZSS parse: a literal byte (code < 256) or a match whose
// code is 256 + length - 3 and whose `offset` is distance - 1.
struct Token
{
    std::uint16_t code;
    std::uint16_t offset;
};

// A match's `offset` travels as its slot (the offset's bit width) in the
// offset code, followed by the offset's bits below the leading one.
inline unsigned offset_slot(unsigned offset)
{
    return static_cast<unsigned>(std::bit_width(offset));
}
inline unsigned slot_extra_bits(unsigned slot)
{
    return slot > 1 ? slot - 1 : 0;
}

} // namespace pelmora::lh5
