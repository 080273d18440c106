// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the member headers of an existing archive.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QIODevice;

namespace pelmora {

// Where one member of an existing archive sits, enough to copy it unchanged.
struct ExistingMember
{
    std::string path;       // the name decoded by its own encoding, UTF-8, '/' between folders
    std::string storedPath; // the name's bytes as stored, folders joined by '/'
    std::optional<std::uint32_t> codePage; // from the code page extended header
    std::uint8_t os = 0;                   // OS id; 0 for level 0, which has none
    std::string method;
    int level = 0;
    std::uint64_t offset = 0;     // first byte of the header
    std::uint64_t spanSize = 0;   // header, extended headers and data
    std::uint32_t packedSize = 0; // as in the header; level 1 counts its extended headers here
    std::uint32_t dataSize = 0;   // the compressed data alone
    std::uint32_t originalSize = 0;
};

// Reads the member headers (levels 0, 1 and 2) of an archive. The archive must
// read cleanly to its end mark, after which nothing but that single byte may
// follow (a file without the end mark is accepted when its last member ends
// exactly at the end of the file, as some writers leave it). Returns nothing
// and sets `why` (Japanese) when the archive is damaged, followed by other
// data, or of a kind it cannot copy.
std::optional<std::vector<ExistingMember>> read_members(QIODevice& archive, std::string& why);

} // namespace pelmora
