// SPDX-License-Identifier: GPL-3.0-or-later
// The CRC-16 of LHA member data and level-2 headers.
#pragma once

#include <cstdint>
#include <span>

namespace pelmora {

// CRC-16 as LHA uses it for member data and level-2 headers: reflected
// polynomial 0xA001, initial value 0, no final xor.
class Crc16 final
{
public:
    void update(std::span<const std::uint8_t> bytes);
    std::uint16_t value() const { return crc_; }

    static std::uint16_t of(std::span<const std::uint8_t> bytes);

private:
    std::uint16_t crc_ = 0;
};

} // namespace pelmora
