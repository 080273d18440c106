// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/lh5_optimal_parser.h"

#include "lzh/huffman_code.h"
#include "lzh/lh5_block_writer.h"
#include "lzh/match_length.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>

namespace pelmora {
namespace {

// Tree nodes visited per position; bounds the time on data with many equal
// strings.
constexpr unsigned kCutValue = 48;
// A match at least this long is taken as it is, without weighing the
// alternatives over the bytes it covers: that is where the search would
// spend most and gain least.
constexpr unsigned kNiceLength = 128;
// Shortest-path passes after the first, greedy, estimate of the codes.
constexpr int kPasses = 2;
// Bits assumed for a symbol the codes of the previous pass do not hold: its
// code plus its entry in the block's tables.
constexpr std::uint32_t kUnusedSymbolBits = 12;

struct Match
{
    std::uint16_t length;
    std::uint16_t distance;
};

// Binary trees of the window's positions, one per hash of their first three
// bytes, ordered by the bytes that follow each position: walking down from
// the newest finds the matches of increasing length on the way, and the
// walk re-links the tree so that the current position becomes its root.
class TreeMatcher final
{
public:
    explicit TreeMatcher(std::span<const std::uint8_t> in)
        : m_in(in),
          m_hashBits(std::clamp<unsigned>(static_cast<unsigned>(std::bit_width(in.size())), 8, 16)),
          m_slots(static_cast<std::size_t>(std::min<std::size_t>(
              std::bit_ceil(std::max<std::size_t>(in.size(), 1)), 2 * lh5::kWindowSize))),
          m_head(std::size_t{1} << m_hashBits, -1), m_son(2 * m_slots)
    {}

    // Adds `pos` to its tree; with `out`, appends the matches found on the way
    // (each longer than the one before) and returns the longest length.
    unsigned insert(std::size_t pos, std::vector<Match>* out)
    {
        const std::size_t n = m_in.size();
        if (pos + lh5::kMinMatch > n)
            return 0;
        const std::uint8_t* cur = m_in.data() + pos;
        const unsigned limit =
            static_cast<unsigned>(std::min<std::size_t>(lh5::kMaxMatch, n - pos));
        const std::uint32_t v = cur[0] | (cur[1] << 8) | (cur[2] << 16);
        std::int32_t& head = m_head[(v * 2654435761u) >> (32 - m_hashBits)];
        std::int32_t candidate = head;
        head = static_cast<std::int32_t>(pos);

        std::int32_t* smaller = &m_son[2 * slot(pos)];    // gets the next node below us
        std::int32_t* larger = &m_son[2 * slot(pos) + 1]; // gets the next node above us
        unsigned smallerLen = 0;
        unsigned largerLen = 0;
        unsigned longest = lh5::kMinMatch - 1;
        for (unsigned cut = kCutValue;; --cut) {
            if (candidate < 0 || pos - static_cast<std::size_t>(candidate) > lh5::kWindowSize ||
                cut == 0) {
                *smaller = -1;
                *larger = -1;
                break;
            }
            const auto c = static_cast<std::size_t>(candidate);
            std::int32_t* pair = &m_son[2 * slot(c)];
            const std::uint8_t* m = m_in.data() + c;
            unsigned len = std::min(smallerLen, largerLen);
            if (m[len] == cur[len]) {
                len += 1 + lh5::match_length(m + len + 1, cur + len + 1, limit - len - 1);
                if (len > longest) {
                    longest = len;
                    if (out)
                        out->push_back(
                            {static_cast<std::uint16_t>(len), static_cast<std::uint16_t>(pos - c)});
                    if (len == limit) {
                        // The node is replaced by the current position.
                        *smaller = pair[0];
                        *larger = pair[1];
                        break;
                    }
                }
            }
            if (m[len] < cur[len]) {
                *smaller = candidate;
                smaller = pair + 1;
                candidate = *smaller;
                smallerLen = len;
            } else {
                *larger = candidate;
                larger = pair;
                candidate = *larger;
                largerLen = len;
            }
        }
        return longest >= lh5::kMinMatch ? longest : 0;
    }

private:
    std::size_t slot(std::size_t pos) const { return pos & (m_slots - 1); }

    std::span<const std::uint8_t> m_in;
    unsigned m_hashBits;
    std::size_t m_slots;
    std::vector<std::int32_t> m_head;
    std::vector<std::int32_t> m_son;
};

// The matches of every position. A position whose longest match reaches
// kNiceLength keeps only that one and is "forced"; the positions it covers
// keep none and are passed over by the search.
struct MatchTable
{
    std::vector<Match> matches;
    std::vector<std::uint32_t> first; // matches of position i: [first[i], first[i + 1])
    std::vector<bool> forced;

    std::span<const Match> at(std::size_t i) const
    {
        return {matches.data() + first[i], first[i + 1] - first[i]};
    }
};

MatchTable findMatches(std::span<const std::uint8_t> in)
{
    const std::size_t n = in.size();
    MatchTable t;
    t.matches.reserve(n);
    t.first.resize(n + 1);
    t.forced.resize(n);
    TreeMatcher tree(in);
    std::size_t covered = 0;
    for (std::size_t i = 0; i < n; ++i) {
        t.first[i] = static_cast<std::uint32_t>(t.matches.size());
        if (i < covered) {
            tree.insert(i, nullptr);
            continue;
        }
        const unsigned longest = tree.insert(i, &t.matches);
        if (longest >= kNiceLength) {
            t.matches.erase(t.matches.begin() + t.first[i], t.matches.end() - 1);
            t.forced[i] = true;
            covered = i + longest;
        }
    }
    t.first[n] = static_cast<std::uint32_t>(t.matches.size());
    return t;
}

// Bits of each literal/length symbol and of each distance, offset extra bits
// included, under the codes that `freq` would get.
struct Prices
{
    std::array<std::uint32_t, lh5::kNumC> c{};
    std::array<std::uint32_t, lh5::kNumP> slot{};

    std::uint32_t match(unsigned length, unsigned distance) const
    {
        return c[256 + length - lh5::kMinMatch] + slot[lh5::offset_slot(distance - 1)];
    }
};

template <std::size_t N>
void pricesFromCode(const std::array<std::uint32_t, N>& freq, std::array<std::uint32_t, N>& out)
{
    const HuffmanCode code = HuffmanCode::build(freq);
    for (std::size_t i = 0; i < N; ++i) {
        const unsigned len = code.single() ? (freq[i] != 0 ? 1 : 0) : code.lengths()[i];
        out[i] = len != 0 ? len : kUnusedSymbolBits;
    }
}

Prices pricesOf(const BlockFrequencies& freq)
{
    Prices p;
    pricesFromCode(freq.c, p.c);
    pricesFromCode(freq.p, p.slot);
    for (unsigned s = 0; s < lh5::kNumP; ++s)
        p.slot[s] += lh5::slot_extra_bits(s);
    return p;
}

// Bits of the tokens as one block, offset extra bits included.
std::uint64_t costOf(const std::vector<lh5::Token>& tokens, BlockFrequencies& freq)
{
    freq = {};
    std::uint64_t extra = 0;
    for (const lh5::Token& t : tokens) {
        freq.add(t);
        if (t.code >= 256)
            extra += lh5::slot_extra_bits(lh5::offset_slot(t.offset));
    }
    return Lh5BlockWriter::cost_bits(freq) + extra;
}

lh5::Token matchToken(unsigned length, unsigned distance)
{
    return {static_cast<std::uint16_t>(256 + length - lh5::kMinMatch),
            static_cast<std::uint16_t>(distance - 1)};
}

// The first estimate: the longest match wherever there is one.
std::vector<lh5::Token> greedyParse(std::span<const std::uint8_t> in, const MatchTable& t)
{
    std::vector<lh5::Token> tokens;
    for (std::size_t i = 0; i < in.size();) {
        const std::span<const Match> ms = t.at(i);
        if (ms.empty()) {
            tokens.push_back({in[i], 0});
            ++i;
        } else {
            tokens.push_back(matchToken(ms.back().length, ms.back().distance));
            i += ms.back().length;
        }
    }
    return tokens;
}

// The cheapest parse under `prices`: a shortest path over the positions,
// each step a literal or a match of any length up to the one found.
std::vector<lh5::Token> cheapestParse(std::span<const std::uint8_t> in, const MatchTable& t,
                                      const Prices& prices)
{
    const std::size_t n = in.size();
    constexpr std::uint32_t kUnreached = std::numeric_limits<std::uint32_t>::max();
    std::vector<std::uint32_t> price(n + 1, kUnreached);
    std::vector<Match> via(n + 1, Match{0, 0}); // length 1: a literal
    price[0] = 0;
    auto relax = [&](std::size_t to, std::uint32_t cost, Match step) {
        if (cost < price[to]) {
            price[to] = cost;
            via[to] = step;
        }
    };
    std::size_t covered = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i < covered)
            continue;
        const std::uint32_t here = price[i];
        const std::span<const Match> ms = t.at(i);
        if (t.forced[i]) {
            const Match m = ms.back();
            relax(i + m.length, here + prices.match(m.length, m.distance), m);
            covered = i + m.length;
            continue;
        }
        relax(i + 1, here + prices.c[in[i]], Match{1, 0});
        unsigned length = lh5::kMinMatch;
        for (const Match& m : ms) {
            const std::uint32_t base = here + prices.slot[lh5::offset_slot(m.distance - 1u)];
            for (; length <= m.length; ++length)
                relax(i + length, base + prices.c[256 + length - lh5::kMinMatch],
                      Match{static_cast<std::uint16_t>(length), m.distance});
        }
    }
    std::vector<lh5::Token> tokens;
    for (std::size_t at = n; at > 0;) {
        const Match step = via[at];
        if (step.length == 1) {
            tokens.push_back({in[at - 1], 0});
            at -= 1;
        } else {
            tokens.push_back(matchToken(step.length, step.distance));
            at -= step.length;
        }
    }
    std::reverse(tokens.begin(), tokens.end());
    return tokens;
}

} // namespace

std::vector<lh5::Token> Lh5OptimalParser::parse(std::span<const std::uint8_t> input)
{
    if (input.empty())
        return {};
    const MatchTable table = findMatches(input);
    std::vector<lh5::Token> best = greedyParse(input, table);
    BlockFrequencies freq;
    std::uint64_t bestBits = costOf(best, freq);
    for (int pass = 0; pass < kPasses; ++pass) {
        std::vector<lh5::Token> tokens = cheapestParse(input, table, pricesOf(freq));
        const std::uint64_t bits = costOf(tokens, freq);
        if (bits < bestBits) {
            bestBits = bits;
            best = std::move(tokens);
        }
    }
    return best;
}

} // namespace pelmora
