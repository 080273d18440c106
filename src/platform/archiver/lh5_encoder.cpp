#include "platform/archiver/lh5_encoder.h"

#include "platform/archiver/bit_writer.h"
#include "platform/archiver/lh5_block_writer.h"
#include "platform/archiver/lzss_matcher.h"

#include <algorithm>

namespace pelmora {
namespace {

// Symbols per block: large enough that the tables cost little, small enough
// to follow changes in the data (text next to tables in one document).
constexpr std::size_t kBlockTokens = 16 * 1024;

} // namespace

std::optional<std::vector<std::uint8_t>> Lh5Encoder::compress(std::span<const std::uint8_t> input,
                                                              std::size_t limit)
{
    std::vector<std::uint8_t> out;
    out.reserve(std::min(limit, input.size() / 2 + 1024));
    BitWriter bits(out);
    Lh5BlockWriter blocks(bits);
    LzssMatcher matcher(input);
    std::vector<lh5::Token> tokens;
    tokens.reserve(kBlockTokens);
    while (!matcher.done()) {
        tokens.clear();
        matcher.parse(tokens, kBlockTokens);
        blocks.write(tokens);
        if (out.size() >= limit)
            return std::nullopt;
    }
    bits.flush();
    if (out.size() >= limit)
        return std::nullopt;
    return out;
}

} // namespace pelmora
