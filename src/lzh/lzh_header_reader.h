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
    std::string path; // '/' between folders, as stored (bytes)
    std::string method;
    int level = 0;
    std::uint64_t offset = 0;     // first byte of the header
    std::uint64_t spanSize = 0;   // header, extended headers and data
    std::uint32_t packedSize = 0; // as in the header; level 1 counts its extended headers here
    std::uint32_t dataSize = 0;   // the compressed data alone
    std::uint32_t originalSize = 0;
};

// Reads the member headers (levels 0, 1 and 2) of an archive. Returns nothing
// and sets `why` when the archive is damaged or of a kind it cannot copy.
std::optional<std::vector<ExistingMember>> readMembers(QIODevice& archive, std::string& why);

} // namespace pelmora
