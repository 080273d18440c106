// SPDX-License-Identifier: GPL-3.0-or-later
// Field values and little-endian helpers shared by the LZH header writer and
// reader.
#pragma once

#include <cstdint>

namespace pelmora::lzh {

inline constexpr std::uint8_t kOsUnix = 'U';
inline constexpr std::uint8_t kExtHeaderCrc = 0x00;
inline constexpr std::uint8_t kExtFileName = 0x01;
inline constexpr std::uint8_t kExtDirectory = 0x02;
inline constexpr std::uint8_t kExtCodePage = 0x46;
inline constexpr std::uint8_t kExtDosAttribute = 0x40;
inline constexpr std::uint8_t kExtUnixMode = 0x50;
inline constexpr std::uint32_t kCodePageUtf8 = 65001;
inline constexpr std::uint32_t kCodePageCp932 = 932;
// Folder names are separated by 0xFF inside the directory extended header.
inline constexpr std::uint8_t kDirSeparator = 0xFF;

inline std::uint16_t get16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t get32(const std::uint8_t* p)
{
    return get16(p) | (static_cast<std::uint32_t>(get16(p + 2)) << 16);
}

} // namespace pelmora::lzh
