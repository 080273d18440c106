// SPDX-License-Identifier: GPL-3.0-or-later
// Counting the bytes two positions of the window have in common.
#pragma once

#include <cstdint>
#include <cstring>

namespace pelmora::lh5 {

// How many bytes from `a` and `b` on agree, at most `limit`; compared eight at
// a time, never reading past `limit`.
inline unsigned match_length(const std::uint8_t* a, const std::uint8_t* b, unsigned limit)
{
    unsigned n = 0;
    while (n + 8 <= limit) {
        std::uint64_t x;
        std::uint64_t y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y)
            return n + static_cast<unsigned>(__builtin_ctzll(x ^ y) >> 3);
        n += 8;
    }
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
}

} // namespace pelmora::lh5
