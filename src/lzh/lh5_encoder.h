// SPDX-License-Identifier: GPL-3.0-or-later
// The -lh5- compressor of one member, from its source to its output.
#pragma once

#include "lzh/lzss_matcher.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace pelmora {

// Compresses a member with the -lh5- method.
class Lh5Encoder final
{
public:
    enum class Result { Done, GaveUp, ReadFailed, WriteFailed };
    // Takes the next piece of compressed output; false when it cannot be written.
    using Sink = std::function<bool(std::span<const std::uint8_t>)>;

    // Streams the input from `read` to `sink`, block by block. The input is
    // parsed in segments (lh5_segments.h), up to `threads` of them at once
    // while this thread reads ahead and writes the blocks in order; the output
    // is the same for any number of threads. Gives up as soon as the output
    // would reach `limit` bytes: the caller then stores the member instead,
    // so there is no point in finishing. `packedSize` counts what was handed
    // to `sink`.
    static Result compress(const LzssMatcher::Reader& read, const Sink& sink, std::uint64_t limit,
                           std::uint64_t& packedSize, unsigned threads = 1);

    // The same on input in memory: the compressed stream, or nothing when it
    // would reach `limit` bytes.
    static std::optional<std::vector<std::uint8_t>>
    compress(std::span<const std::uint8_t> input, std::size_t limit, unsigned threads = 1);

    // The same with the near-optimal parse (Lh5OptimalParser): smaller, and
    // slower, so meant for members small enough to read whole.
    static std::optional<std::vector<std::uint8_t>>
    compress_optimal(std::span<const std::uint8_t> input, std::size_t limit);
};

} // namespace pelmora
