#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pelmora {

// Compresses a whole member with the -lh5- method.
class Lh5Encoder final
{
public:
    // Returns the compressed stream, or nothing as soon as it would reach
    // `limit` bytes: the caller then stores the member instead, so there is no
    // point in finishing.
    static std::optional<std::vector<std::uint8_t>> compress(std::span<const std::uint8_t> input,
                                                             std::size_t limit);
};

} // namespace pelmora
