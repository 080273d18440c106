// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/huffman_code.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace pelmora {
namespace {

// Depth of every leaf of an unrestricted Huffman tree over `used` (symbols
// sorted by ascending frequency), with the two-queue method.
std::vector<unsigned> leafDepths(const std::vector<unsigned>& used,
                                 std::span<const std::uint32_t> freq)
{
    const std::size_t n = used.size();
    std::vector<std::uint64_t> weight(2 * n - 1);
    std::vector<std::size_t> parent(2 * n - 1, 0);
    for (std::size_t i = 0; i < n; ++i)
        weight[i] = freq[used[i]];
    std::size_t leaf = 0;
    std::size_t inner = n;
    std::size_t next = n;
    auto takeSmallest = [&]() {
        if (leaf < n && (inner >= next || weight[leaf] <= weight[inner]))
            return leaf++;
        return inner++;
    };
    while (next < 2 * n - 1) {
        const std::size_t a = takeSmallest();
        const std::size_t b = takeSmallest();
        weight[next] = weight[a] + weight[b];
        parent[a] = next;
        parent[b] = next;
        ++next;
    }
    std::vector<unsigned> depth(2 * n - 1, 0);
    for (std::size_t i = 2 * n - 1; i-- > 0;)
        if (i != 2 * n - 2)
            depth[i] = depth[parent[i]] + 1;
    return {depth.begin(), depth.begin() + static_cast<std::ptrdiff_t>(n)};
}

} // namespace

HuffmanCode HuffmanCode::build(std::span<const std::uint32_t> freq, unsigned maxLength)
{
    HuffmanCode code;
    code.lengths_.assign(freq.size(), 0);
    code.codes_.assign(freq.size(), 0);

    std::vector<unsigned> used;
    for (unsigned s = 0; s < freq.size(); ++s)
        if (freq[s] != 0)
            used.push_back(s);
    if (used.size() < 2) {
        code.single_ = true;
        code.singleSymbol_ = used.empty() ? 0 : used.front();
        return code;
    }
    std::stable_sort(used.begin(), used.end(),
                     [&](unsigned a, unsigned b) { return freq[a] < freq[b]; });

    unsigned limit = std::min(maxLength, kMaxLength);
    while ((std::size_t{1} << limit) < used.size())
        ++limit;
    const std::vector<unsigned> depth = leafDepths(used, freq);
    std::array<unsigned, kMaxLength + 1> count{};
    for (unsigned d : depth)
        ++count[std::min(d, limit)];

    // Over-long codes were clamped to the limit; restore the Kraft sum by
    // lengthening shorter codes, the same repair LHA applies.
    std::uint32_t kraft = 0;
    for (unsigned len = 1; len <= limit; ++len)
        kraft += count[len] << (limit - len);
    while (kraft > (1u << limit)) {
        --count[limit];
        for (unsigned len = limit - 1; len > 0; --len) {
            if (count[len] != 0) {
                --count[len];
                count[len + 1] += 2;
                break;
            }
        }
        --kraft;
    }

    // Longest codes go to the rarest symbols (`used` is in ascending frequency).
    std::size_t i = 0;
    for (unsigned len = limit; len > 0; --len)
        for (unsigned k = 0; k < count[len]; ++k)
            code.lengths_[used[i++]] = static_cast<std::uint8_t>(len);
    code.assign_codes();
    return code;
}

HuffmanCode HuffmanCode::from_lengths(std::span<const std::uint8_t> lengths)
{
    HuffmanCode code;
    code.lengths_.assign(lengths.begin(), lengths.end());
    code.codes_.assign(lengths.size(), 0);
    code.assign_codes();
    return code;
}

void HuffmanCode::assign_codes()
{
    std::array<std::uint32_t, kMaxLength + 1> count{};
    for (std::uint8_t len : lengths_)
        if (len != 0)
            ++count[len];
    std::array<std::uint32_t, kMaxLength + 2> start{};
    for (unsigned len = 1; len <= kMaxLength; ++len)
        start[len + 1] = (start[len] + count[len]) << 1;
    for (std::size_t s = 0; s < lengths_.size(); ++s) {
        const unsigned len = lengths_[s];
        if (len != 0)
            codes_[s] = static_cast<std::uint16_t>(start[len]++);
    }
}

} // namespace pelmora
