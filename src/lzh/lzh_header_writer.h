// SPDX-License-Identifier: GPL-3.0-or-later
// Writing the level-2 header of a new member.
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
    std::string path;           // encoded name, '/' between folders, no leading '/'
    std::uint32_t codePage = 0; // of `path`; 0 when unknown
    std::uint8_t os = 'U';      // OS id
    std::optional<std::uint16_t> unixMode;
    bool headerCrc = true; // bsdtar refuses a level-2 header without one
};

// Builds a lean level-2 header, with only what readers need: name and folder
// in extended headers, the Unix permission bits when they are not the common
// 0644, and, for a name that is not plain ASCII, the code page it is written
// in, and the header CRC, without which libarchive (bsdtar) refuses the
// member ("LHa header CRC error"; lhasa and 7-Zip do without).
std::vector<std::uint8_t> write_level2_header(const NewMemberHeader& member);

} // namespace pelmora
