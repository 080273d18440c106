#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// Header fields of a member this archiver writes.
struct NewMemberHeader
{
    std::string method; // "-lh5-" or "-lh0-"
    std::uint32_t packedSize = 0;
    std::uint32_t originalSize = 0;
    std::uint32_t mtime = 0; // Unix time, UTC
    std::uint16_t dataCrc = 0;
    std::string path; // UTF-8, '/' between folders, no leading '/'
    std::optional<std::uint16_t> unixMode;
};

// Builds a level-2 header: name and folder in extended headers, a header CRC,
// the Unix permission bits and the UTF-8 code page marker. Names are stored as
// UTF-8 with OS id 'U' and code page 65001: lhasa and 7-Zip take the bytes as
// they are, libarchive converts by the declared code page, so all three give
// Japanese names back unchanged in a UTF-8 locale. Shift_JIS with OS id 'M'
// came back garbled from lhasa and 7-Zip and was refused by bsdtar.
std::vector<std::uint8_t> writeLevel2Header(const NewMemberHeader& member);

} // namespace pelmora
