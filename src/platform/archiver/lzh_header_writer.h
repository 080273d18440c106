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
// the Unix permission bits and the UTF-8 code page marker.
std::vector<std::uint8_t> writeLevel2Header(const NewMemberHeader& member);

} // namespace pelmora
