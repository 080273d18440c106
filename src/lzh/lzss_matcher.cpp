// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/lzss_matcher.h"

#include "lzh/match_length.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace pelmora {
namespace {

constexpr unsigned kHashBits = 15;
constexpr unsigned kWindowMask = lh5::kWindowSize - 1;
// Hash chain positions looked at per search; past kGoodLength only a quarter
// as many. A match of kNiceLength ends the search.
constexpr unsigned kMaxChain = 256;
constexpr unsigned kGoodLength = 32;
constexpr unsigned kNiceLength = 128;
// Matches up to this length are checked against the cost of their literals;
// longer ones always win. Such a match must save this many bits.
constexpr unsigned kCostCheckedLength = 6;
constexpr unsigned kRequiredSaving = 2;
// Bits assumed for a symbol the current codes do not hold.
constexpr std::uint16_t kUnusedSymbolBits = 12;

inline std::uint32_t hash3(const std::uint8_t* p)
{
    const std::uint32_t v = p[0] | (p[1] << 8) | (p[2] << 16);
    return (v * 2654435761u) >> (32 - kHashBits);
}

} // namespace

// The buffer holds the window behind the current position, what the parse
// looks at ahead of it, and a read-ahead that makes sliding rare.
constexpr std::size_t kReadAhead = std::size_t{1} << 18;
// The lazy step may move up to kMaxMatch - kMinMatch bytes before it takes a
// match of up to kMaxMatch bytes; both must lie in the buffer.
constexpr std::size_t kNeededAhead = 2 * lh5::kMaxMatch + 8;
constexpr std::size_t kBufferSize = 2 * lh5::kWindowSize + kReadAhead;

LzssMatcher::LzssMatcher(Reader read, std::size_t primed)
    : read_(std::move(read)), buffer_(kBufferSize + 8),
      pos_(std::min<std::size_t>(primed, lh5::kWindowSize)), head_(std::size_t{1} << kHashBits, -1),
      prev_(lh5::kWindowSize, -1)
{
    fill();
    pos_ = std::min(pos_, end_);
}

LzssMatcher::LzssMatcher(std::span<const std::uint8_t> input, std::size_t primed)
    : LzssMatcher(
          [input, at = std::size_t{0}](std::uint8_t* into, std::size_t size) mutable {
              const std::size_t n = std::min(size, input.size() - at);
              std::memcpy(into, input.data() + at, n);
              at += n;
              return static_cast<std::int64_t>(n);
          },
          primed)
{}

void LzssMatcher::slide()
{
    // Keep at least one window behind the current position, cut at a multiple
    // of the window so that positions keep their slot in `prev_`. Chain
    // entries that fall off become -1, which ends a chain exactly where the
    // distance test would have.
    const std::size_t keepFrom = std::min(pos_, inserted_);
    if (keepFrom <= lh5::kWindowSize)
        return;
    const std::size_t drop = (keepFrom - lh5::kWindowSize) & ~std::size_t{kWindowMask};
    if (drop == 0)
        return;
    std::memmove(buffer_.data(), buffer_.data() + drop, end_ - drop);
    end_ -= drop;
    pos_ -= drop;
    inserted_ -= drop;
    const auto shift = static_cast<std::int32_t>(drop);
    for (std::int32_t& h : head_)
        h = h >= shift ? h - shift : -1;
    for (std::int32_t& p : prev_)
        p = p >= shift ? p - shift : -1;
}

void LzssMatcher::fill()
{
    if (eof_ || readFailed_ || end_ >= pos_ + kNeededAhead)
        return;
    if (kBufferSize - end_ < kNeededAhead)
        slide();
    while (!eof_ && end_ < kBufferSize) {
        const std::int64_t n = read_(buffer_.data() + end_, kBufferSize - end_);
        if (n < 0) {
            readFailed_ = true;
            return;
        }
        if (n == 0)
            eof_ = true;
        end_ += static_cast<std::size_t>(n);
        if (end_ >= pos_ + kNeededAhead)
            break;
    }
}

void LzssMatcher::set_costs(const SymbolCosts& costs)
{
    auto bits = [](std::uint8_t len) { return len ? std::uint16_t{len} : kUnusedSymbolBits; };
    for (std::size_t i = 0; i < costs.c.size(); ++i)
        cBits_[i] = bits(costs.c[i]);
    for (unsigned slot = 0; slot < costs.p.size(); ++slot)
        slotBits_[slot] =
            static_cast<std::uint16_t>(bits(costs.p[slot]) + lh5::slot_extra_bits(slot));
    haveCosts_ = true;
}

void LzssMatcher::insert(std::size_t pos)
{
    if (pos + lh5::kMinMatch > end_)
        return;
    const std::uint32_t h = hash3(buffer_.data() + pos);
    prev_[pos & kWindowMask] = head_[h];
    head_[h] = static_cast<std::int32_t>(pos);
}

LzssMatcher::Match LzssMatcher::longest_match(std::size_t pos, unsigned atLeast) const
{
    Match best;
    const std::size_t avail = end_ - pos;
    if (avail < lh5::kMinMatch)
        return best;
    const unsigned limit = static_cast<unsigned>(std::min<std::size_t>(avail, lh5::kMaxMatch));
    if (atLeast >= limit)
        return best;
    const std::uint8_t* cur = buffer_.data() + pos;
    unsigned bestLen = std::max(atLeast, lh5::kMinMatch - 1);
    unsigned chain = atLeast >= kGoodLength ? kMaxChain / 4 : kMaxChain;

    // Short matches must cost fewer bits than the literals they replace (and
    // save something: taking one also rules out matches that would start
    // inside it, which the comparison does not see). The literals' bits are
    // summed once, when the first short match turns up.
    const bool checkCost = haveCosts_;
    std::array<unsigned, kCostCheckedLength + 1> literalBits{};
    bool literalsSummed = false;
    auto worthIt = [&](unsigned length, unsigned distance) {
        if (!checkCost || length > kCostCheckedLength)
            return true;
        if (!literalsSummed) {
            for (unsigned i = 0; i < kCostCheckedLength && i < limit; ++i)
                literalBits[i + 1] = literalBits[i] + cBits_[cur[i]];
            literalsSummed = true;
        }
        const unsigned slot = lh5::offset_slot(distance - 1);
        return cBits_[256 + length - lh5::kMinMatch] + slotBits_[slot] + kRequiredSaving <=
               literalBits[length];
    };

    std::int32_t cand = head_[hash3(cur)];
    while (cand >= 0 && chain-- > 0) {
        const std::size_t c = static_cast<std::size_t>(cand);
        if (c >= pos)
            break;
        const std::size_t distance = pos - c;
        if (distance > lh5::kWindowSize)
            break;
        const std::uint8_t* m = buffer_.data() + c;
        if (m[bestLen] == cur[bestLen] && m[0] == cur[0] && m[1] == cur[1]) {
            const unsigned len = lh5::match_length(m, cur, limit);
            if (len > bestLen && worthIt(len, static_cast<unsigned>(distance))) {
                bestLen = len;
                best = {len, static_cast<unsigned>(distance)};
                if (len >= limit || len >= kNiceLength)
                    break;
            }
        }
        const std::int32_t next = prev_[c & kWindowMask];
        if (next >= cand)
            break; // slot already reused by a newer position
        cand = next;
    }
    return best;
}

void LzssMatcher::parse(std::vector<lh5::Token>& out, std::size_t maxTokens)
{
    auto insertUpTo = [&](std::size_t end) {
        for (; inserted_ < end; ++inserted_)
            insert(inserted_);
    };

    for (;;) {
        fill();
        const std::size_t size = end_;
        if (readFailed_ || pos_ >= size || out.size() >= maxTokens)
            break;
        const std::uint8_t* in = buffer_.data();
        insertUpTo(pos_);
        Match match = longest_match(pos_, 0);
        // Lazy evaluation: a longer match one byte later beats this one.
        while (match.length >= lh5::kMinMatch && match.length < lh5::kMaxMatch && pos_ + 1 < size &&
               out.size() < maxTokens) {
            insertUpTo(pos_ + 1);
            const Match next = longest_match(pos_ + 1, match.length);
            if (next.length <= match.length)
                break;
            out.push_back({in[pos_], 0});
            ++pos_;
            match = next;
        }
        if (out.size() >= maxTokens)
            break;
        if (match.length >= lh5::kMinMatch) {
            out.push_back({static_cast<std::uint16_t>(256 + match.length - lh5::kMinMatch),
                           static_cast<std::uint16_t>(match.distance - 1)});
            pos_ += match.length;
        } else {
            out.push_back({in[pos_], 0});
            ++pos_;
        }
    }
}

} // namespace pelmora
