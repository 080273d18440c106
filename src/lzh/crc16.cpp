// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/crc16.h"

#include <array>

namespace pelmora {
namespace {

// Slicing-by-4 tables: large members are checksummed in one pass next to the
// encoder, so the byte-at-a-time loop would show up in the profile.
constexpr std::array<std::array<std::uint16_t, 256>, 4> makeTables()
{
    std::array<std::array<std::uint16_t, 256>, 4> t{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t c = static_cast<std::uint16_t>(i);
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? static_cast<std::uint16_t>((c >> 1) ^ 0xA001)
                        : static_cast<std::uint16_t>(c >> 1);
        t[0][i] = c;
    }
    for (unsigned i = 0; i < 256; ++i)
        for (int s = 1; s < 4; ++s)
            t[s][i] = static_cast<std::uint16_t>((t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF]);
    return t;
}

constexpr auto kTables = makeTables();

} // namespace

void Crc16::update(std::span<const std::uint8_t> bytes)
{
    std::uint16_t c = crc_;
    const std::uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    while (n >= 4) {
        const std::uint16_t lo = static_cast<std::uint16_t>(c ^ (p[0] | (p[1] << 8)));
        c = static_cast<std::uint16_t>(kTables[3][lo & 0xFF] ^ kTables[2][lo >> 8] ^
                                       kTables[1][p[2]] ^ kTables[0][p[3]]);
        p += 4;
        n -= 4;
    }
    while (n--)
        c = static_cast<std::uint16_t>((c >> 8) ^ kTables[0][(c ^ *p++) & 0xFF]);
    crc_ = c;
}

std::uint16_t Crc16::of(std::span<const std::uint8_t> bytes)
{
    Crc16 crc;
    crc.update(bytes);
    return crc.value();
}

} // namespace pelmora
