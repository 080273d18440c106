// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/lh5_block_writer.h"

#include "lzh/huffman_code.h"

#include <QtGlobal>
#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace pelmora {
namespace {

std::size_t usedLength(const std::vector<std::uint8_t>& lengths)
{
    std::size_t n = lengths.size();
    while (n > 0 && lengths[n - 1] == 0)
        --n;
    return n;
}

using TLengths = std::vector<std::uint8_t>;

// Runs of zero lengths in the literal/length table are sent as symbols 0..2 of
// the pt table: 0 = one zero, 1 = 3..18 zeros (+4 bits), 2 = 20..531 zeros
// (+9 bits). Without `t` a run takes the usual form (a run of 19 as 1 + 18);
// with the pt code lengths `t` it takes the cheapest mix under them.
template <typename Emit> void emitZeroRun(unsigned run, const TLengths* t, Emit& emit)
{
    Q_ASSERT(run <= lh5::kNumC);
    if (t == nullptr) {
        if (run <= 2) {
            for (unsigned r = 0; r < run; ++r)
                emit(0, 0, 0);
        } else if (run <= 18) {
            emit(1, 4, run - 3);
        } else if (run == 19) {
            emit(0, 0, 0);
            emit(1, 4, 15);
        } else {
            emit(2, lh5::kCBits, run - 20);
        }
        return;
    }
    constexpr unsigned kNone = 1u << 30;
    auto cost = [&](unsigned sym, unsigned extra) {
        return (*t)[sym] != 0 ? (*t)[sym] + extra : kNone;
    };
    const unsigned one = cost(0, 0);
    const unsigned mid = cost(1, 4);
    const unsigned big = cost(2, lh5::kCBits);
    // A run never exceeds the table (510 < 531), so the long form can start
    // from any earlier point at least 20 back: the cheapest such point is a
    // running minimum.
    std::array<unsigned, lh5::kNumC + 1> best;
    std::array<std::uint16_t, lh5::kNumC + 1> step{};
    best.fill(kNone);
    best[0] = 0;
    unsigned longFrom = 0;
    for (unsigned i = 1; i <= run; ++i) {
        auto consider = [&](unsigned from, unsigned c) {
            if (c < kNone && best[from] < kNone && best[from] + c < best[i]) {
                best[i] = best[from] + c;
                step[i] = static_cast<std::uint16_t>(i - from);
            }
        };
        consider(i - 1, one);
        for (unsigned len = 3; len <= 18 && len <= i; ++len)
            consider(i - len, mid);
        if (i >= 20) {
            if (best[i - 20] < best[longFrom])
                longFrom = i - 20;
            consider(longFrom, big);
        }
    }
    if (best[run] >= kNone) {
        emitZeroRun(run, nullptr, emit);
        return;
    }
    std::array<std::uint16_t, lh5::kNumC> pieces;
    std::size_t count = 0;
    for (unsigned i = run; i > 0; i -= step[i])
        pieces[count++] = step[i];
    while (count > 0) {
        const unsigned piece = pieces[--count];
        if (piece == 1)
            emit(0, 0, 0);
        else if (piece <= 18)
            emit(1, 4, piece - 3);
        else
            emit(2, lh5::kCBits, piece - 20);
    }
}

// Length k of the literal/length table is sent as symbol k + 2.
template <typename Emit>
void walkCLengths(const std::vector<std::uint8_t>& lengths, const TLengths* t, Emit&& emit)
{
    const std::size_t n = usedLength(lengths);
    std::size_t i = 0;
    while (i < n) {
        const unsigned k = lengths[i++];
        if (k != 0) {
            emit(k + 2, 0, 0);
            continue;
        }
        unsigned run = 1;
        while (i < n && lengths[i] == 0) {
            ++i;
            ++run;
        }
        emitZeroRun(run, t, emit);
    }
}

void putCode(BitWriter& bits, const HuffmanCode& code, unsigned symbol)
{
    bits.put(code.lengths()[symbol], code.codes()[symbol]);
}

// A pt or offset table, field by field as `put(width, value)`: with one
// symbol, a count of 0 and the symbol; otherwise the count and the code
// lengths, 3 bits for 0..6, a length k of 7 or more as k - 3 bits, all one but
// the last. After `special` entries a 2-bit count skips up to three zero
// lengths (used by the pt table only).
//
// A table can also be sent 3 bits longer per zero length: `extra` zeros past
// its last used length (the count grows), and `kept` of the zeros the pt
// table's 2-bit count would skip sent as lengths instead. The last block uses
// that to move its end into the next byte (see planBlock()).
template <typename Put>
void walkTable(const HuffmanCode& code, unsigned countBits, int special, Put&& put,
               unsigned extra = 0, unsigned kept = 0)
{
    if (code.single()) {
        put(countBits, 0);
        put(countBits, code.single_symbol());
        return;
    }
    const std::vector<std::uint8_t>& len = code.lengths();
    const std::size_t used = usedLength(len);
    const std::size_t n = used + extra;
    put(countBits, static_cast<std::uint32_t>(n));
    std::size_t i = 0;
    while (i < n) {
        const unsigned k = i < used ? len[i] : 0;
        ++i;
        if (k <= 6)
            put(3, k);
        else
            put(k - 3, (1u << (k - 3)) - 2);
        if (static_cast<int>(i) == special) {
            std::size_t skip = i;
            while (skip < 6 && skip < used && len[skip] == 0)
                ++skip;
            skip -= std::min<std::size_t>(kept, skip - i);
            put(2, static_cast<std::uint32_t>(skip - i));
            i = skip;
        }
    }
}

void writeTable(BitWriter& bits, const HuffmanCode& code, unsigned countBits, int special,
                unsigned extra = 0, unsigned kept = 0)
{
    walkTable(
        code, countBits, special,
        [&](unsigned width, std::uint32_t value) { bits.put(width, value); }, extra, kept);
}

// Bits writeTable() takes for `code`.
std::uint64_t tableBits(const HuffmanCode& code, unsigned countBits, int special)
{
    std::uint64_t total = 0;
    walkTable(code, countBits, special, [&](unsigned width, std::uint32_t) { total += width; });
    return total;
}

template <std::size_t N>
std::uint64_t dataBits(const std::array<std::uint32_t, N>& freq, const HuffmanCode& code)
{
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < N; ++i)
        total += std::uint64_t{freq[i]} * code.lengths()[i];
    return total;
}

// How the literal/length code lengths travel: the pt code that codes them and
// the form of the zero runs (the usual one, or the cheapest under `policy`).
struct LengthTable
{
    HuffmanCode t;
    TLengths policy;
    bool tuned = false;
    std::uint64_t bits = 0; // pt table, count and lengths
};

// Bits of the pt table and of the literal/length lengths sent with it.
std::uint64_t cLengthsCost(const std::vector<std::uint8_t>& cLengths, const TLengths* policy,
                           const HuffmanCode& t)
{
    std::uint64_t total = tableBits(t, lh5::kTBits, 3) + lh5::kCBits;
    walkCLengths(cLengths, policy, [&](unsigned sym, unsigned extraBits, unsigned) {
        total += t.lengths()[sym] + extraBits;
    });
    return total;
}

// With `search`, the zero runs are also tried in the form that is cheapest
// under the usual pt code, coded with the pt code of that form.
LengthTable chooseLengthTable(const std::vector<std::uint8_t>& cLengths, bool search)
{
    std::array<std::uint32_t, lh5::kNumT> tFreq{};
    walkCLengths(cLengths, nullptr, [&](unsigned sym, unsigned, unsigned) { ++tFreq[sym]; });
    LengthTable best{HuffmanCode::build(tFreq), {}, false, 0};
    best.bits = cLengthsCost(cLengths, nullptr, best.t);
    if (!search || best.t.single())
        return best;
    TLengths policy = best.t.lengths();
    std::array<std::uint32_t, lh5::kNumT> tunedFreq{};
    walkCLengths(cLengths, &policy, [&](unsigned sym, unsigned, unsigned) { ++tunedFreq[sym]; });
    HuffmanCode t = HuffmanCode::build(tunedFreq);
    if (t.single())
        return best;
    const std::uint64_t tuned = cLengthsCost(cLengths, &policy, t);
    if (tuned < best.bits)
        best = {std::move(t), std::move(policy), true, tuned};
    return best;
}

struct BlockCodes
{
    HuffmanCode c;
    HuffmanCode p;
};

// A literal/length table holding one symbol is sent without a pt table.
constexpr std::uint64_t kSingleCTableBits = 2 * lh5::kTBits + 2 * lh5::kCBits;

std::uint64_t cTableBits(const HuffmanCode& c, bool search)
{
    return c.single() ? kSingleCTableBits : chooseLengthTable(c.lengths(), search).bits;
}

std::uint64_t pTableBits(const HuffmanCode& p)
{
    return tableBits(p, lh5::kPBits, -1);
}

// The code that, tables included, costs the fewest bits: the plain Huffman
// code or, with `search`, one of limited length, whose table is cheaper to
// send (which counts on small blocks). The cost rises again soon once the
// limit is too tight, so the search stops after two worse limits in a row.
template <std::size_t N, typename TableBits>
HuffmanCode cheapestCode(const std::array<std::uint32_t, N>& freq, bool search,
                         TableBits&& tableBits)
{
    HuffmanCode best = HuffmanCode::build(freq);
    if (!search || best.single())
        return best;
    std::uint64_t bestBits = tableBits(best) + dataBits(freq, best);
    const unsigned longest = *std::max_element(best.lengths().begin(), best.lengths().end());
    int worse = 0;
    for (unsigned maxLength = longest - 1; maxLength >= 4 && worse < 2; --maxLength) {
        HuffmanCode code = HuffmanCode::build(freq, maxLength);
        const std::uint64_t bits = tableBits(code) + dataBits(freq, code);
        if (bits < bestBits) {
            bestBits = bits;
            best = std::move(code);
            worse = 0;
        } else {
            ++worse;
        }
    }
    return best;
}

// When both tables of a block hold one symbol and the offsets carry no extra
// bits, the block's symbols take no bits at all. The format allows it and
// lhasa, 7-Zip and libarchive (bsdtar) decode such blocks, except that
// libarchive fails ("Bad lzh data") when the member's last block is one. For
// that block only, a second, unused symbol in the table that is in use costs
// one bit per symbol.
template <std::size_t N> std::array<std::uint32_t, N> withTwoSymbols(std::array<std::uint32_t, N> c)
{
    unsigned used = 0;
    unsigned last = 0;
    for (unsigned i = 0; i < c.size(); ++i)
        if (c[i] != 0) {
            ++used;
            last = i;
        }
    if (used == 0)
        c[0] = c[1] = 1;
    else if (used == 1)
        ++c[last == 0 ? 1 : 0];
    return c;
}

BlockCodes chooseCodes(const BlockFrequencies& freq, bool search, bool last)
{
    BlockCodes codes{
        cheapestCode(freq.c, search, [&](const HuffmanCode& c) { return cTableBits(c, false); }),
        cheapestCode(freq.p, search, pTableBits)};
    const bool noBits =
        last && codes.c.single() && codes.p.single() && codes.p.single_symbol() <= 1;
    if (noBits && codes.c.single_symbol() < 256)
        codes.c = HuffmanCode::build(withTwoSymbols(freq.c));
    else if (noBits)
        codes.p = HuffmanCode::build(withTwoSymbols(freq.p));
    return codes;
}

// Zero lengths sent beyond need (see walkTable()), 3 bits each.
struct TablePadding
{
    unsigned ptKept = 0;  // of the zeros the pt table skips
    unsigned ptExtra = 0; // past the pt table's last length
    unsigned pExtra = 0;  // past the offset table's last length

    unsigned units() const { return ptKept + ptExtra + pExtra; }
};

// Everything in front of the symbols: count, pt table, literal/length table,
// offset table.
void writeTables(BitWriter& bits, std::size_t tokens, const BlockCodes& codes,
                 const LengthTable& table, const TablePadding& pad)
{
    const HuffmanCode& c = codes.c;
    bits.put(16, static_cast<std::uint32_t>(tokens));
    if (c.single()) {
        bits.put(lh5::kTBits, 0);
        bits.put(lh5::kTBits, 0);
        bits.put(lh5::kCBits, 0);
        bits.put(lh5::kCBits, c.single_symbol());
    } else {
        writeTable(bits, table.t, lh5::kTBits, 3, pad.ptExtra, pad.ptKept);
        bits.put(lh5::kCBits, static_cast<std::uint32_t>(usedLength(c.lengths())));
        walkCLengths(c.lengths(), table.tuned ? &table.policy : nullptr,
                     [&](unsigned sym, unsigned extraBits, unsigned extra) {
                         putCode(bits, table.t, sym);
                         bits.put(extraBits, extra);
                     });
    }
    writeTable(bits, codes.p, lh5::kPBits, -1, pad.pExtra);
}

// The most padding units the tables of `codes` take.
TablePadding paddingRoom(const BlockCodes& codes, const LengthTable& table)
{
    TablePadding room;
    if (!codes.c.single() && !table.t.single()) {
        const std::vector<std::uint8_t>& len = table.t.lengths();
        const std::size_t used = usedLength(len);
        for (std::size_t i = 3; i < 6 && i < used && len[i] == 0; ++i)
            ++room.ptKept;
        room.ptExtra = static_cast<unsigned>(lh5::kNumT - used);
    }
    if (!codes.p.single())
        room.pExtra = static_cast<unsigned>(lh5::kNumP - usedLength(codes.p.lengths()));
    return room;
}

// `units` of padding spread over `room`; none when the room is too small.
std::optional<TablePadding> padding(unsigned units, const TablePadding& room)
{
    if (units > room.units())
        return std::nullopt;
    TablePadding pad;
    pad.ptKept = std::min(units, room.ptKept);
    units -= pad.ptKept;
    pad.ptExtra = std::min(units, room.ptExtra);
    pad.pExtra = units - pad.ptExtra;
    return pad;
}

std::uint64_t extraBits(const BlockFrequencies& freq)
{
    std::uint64_t total = 0;
    for (unsigned slot = 0; slot < lh5::kNumP; ++slot)
        total += std::uint64_t{freq.p[slot]} * lh5::slot_extra_bits(slot);
    return total;
}

// Bits of a whole block, padding left out.
std::uint64_t blockBits(const BlockFrequencies& freq, const BlockCodes& codes,
                        const LengthTable& table)
{
    return 16 + (codes.c.single() ? kSingleCTableBits : table.bits) + pTableBits(codes.p) +
           dataBits(freq.c, codes.c) + dataBits(freq.p, codes.p) + extraBits(freq);
}

// Bits a table-driven decoder peeks at to decode one symbol of `code`: its
// longest code length, up to 10 (unar's XADPrefixCode; lhasa, 7-Zip and
// libarchive take only the bits they use, or pad past the end).
unsigned peekBits(const HuffmanCode& code)
{
    if (code.single())
        return 0;
    const unsigned longest = *std::max_element(code.lengths().begin(), code.lengths().end());
    return std::min(longest, 10u);
}

constexpr unsigned kMaxPeek = 10;

// Whether every peek of the last symbols stays within the member's last byte,
// for a block that ends at bit `end` (counted from a byte boundary).
bool peeksFit(std::span<const lh5::Token> tokens, const BlockCodes& codes, std::uint64_t end)
{
    const std::uint64_t bytesEnd = (end + 7) / 8 * 8;
    const unsigned cPeek = peekBits(codes.c);
    const unsigned pPeek = peekBits(codes.p);
    std::uint64_t at = end;
    for (std::size_t i = tokens.size(); i-- > 0;) {
        const lh5::Token& t = tokens[i];
        if (t.code >= 256) {
            const unsigned slot = lh5::offset_slot(t.offset);
            at -= lh5::slot_extra_bits(slot) + codes.p.lengths()[slot];
            if (at + pPeek > bytesEnd)
                return false;
        }
        at -= codes.c.lengths()[t.code];
        if (at + cPeek > bytesEnd)
            return false;
        if (bytesEnd - at >= kMaxPeek)
            return true;
    }
    // The tables' own look-ups end before the offset table, at least 8 bits
    // (its count and one symbol) further back.
    return bytesEnd - at + 8 >= kMaxPeek;
}

// `code` with the lengths of `symbol` and of the rarest symbol of each longer
// length swapped: the symbol's own code then covers more of the peek.
template <std::size_t N>
std::vector<HuffmanCode> lengthenedFor(const HuffmanCode& code,
                                       const std::array<std::uint32_t, N>& freq, unsigned symbol)
{
    std::vector<HuffmanCode> out;
    if (code.single())
        return out;
    const std::vector<std::uint8_t>& len = code.lengths();
    std::array<int, HuffmanCode::kMaxLength + 1> rarest;
    rarest.fill(-1);
    for (unsigned s = 0; s < len.size(); ++s)
        if (len[s] > len[symbol] &&
            (rarest[len[s]] < 0 || freq[s] <= freq[static_cast<unsigned>(rarest[len[s]])]))
            rarest[len[s]] = static_cast<int>(s);
    for (const int other : rarest) {
        if (other < 0)
            continue;
        std::vector<std::uint8_t> swapped = len;
        std::swap(swapped[symbol], swapped[static_cast<unsigned>(other)]);
        out.push_back(HuffmanCode::from_lengths(swapped));
    }
    return out;
}

struct TailPlan
{
    BlockCodes codes;
    LengthTable table;
    TablePadding pad;
    std::uint64_t end = 0; // bit where the block ends
};

// The fewest padding units that make the peeks fit, if any.
std::optional<TailPlan> fittingPlan(std::span<const lh5::Token> tokens,
                                    const BlockFrequencies& freq, BlockCodes codes,
                                    std::uint64_t start)
{
    LengthTable table =
        codes.c.single() ? LengthTable{} : chooseLengthTable(codes.c.lengths(), true);
    const TablePadding room = paddingRoom(codes, table);
    const std::uint64_t end = start + blockBits(freq, codes, table);
    // 3k bits for k = 0..7 reach every position within a byte.
    for (unsigned units = 0; units <= 7; ++units) {
        const std::optional<TablePadding> pad = padding(units, room);
        if (!pad)
            break;
        if (peeksFit(tokens, codes, end + 3 * units))
            return TailPlan{std::move(codes), std::move(table), *pad, end + 3 * units};
    }
    return std::nullopt;
}

// A block as it will be written: codes, tables, padding and where it ends.
struct BlockPlan
{
    BlockFrequencies freq;
    TailPlan shape;
    bool fits = true; // the peeks stay within the data (last block only)
    std::uint64_t plainEnd = 0;
};

// Plans a block starting at bit `start`. A member's last block is shaped so
// that a decoder that peeks kMaxPeek bits ahead (unar) never reads past the
// member's data: padding in the tables moves the end into the next byte, and
// when that is not enough the last symbols get longer codes. Readers that
// check that the data is consumed exactly (7-Zip, libarchive) rule out a byte
// of padding after the end.
BlockPlan planBlock(std::span<const lh5::Token> tokens, std::uint64_t start, bool last)
{
    BlockPlan plan;
    for (const lh5::Token& t : tokens)
        plan.freq.add(t);
    const BlockFrequencies& freq = plan.freq;
    BlockCodes codes = chooseCodes(freq, true, last);
    LengthTable table =
        codes.c.single() ? LengthTable{} : chooseLengthTable(codes.c.lengths(), true);
    plan.plainEnd = start + blockBits(freq, codes, table);
    plan.shape = {codes, table, {}, plan.plainEnd};
    if (!last || tokens.empty())
        return plan;
    std::optional<TailPlan> best = fittingPlan(tokens, freq, codes, start);
    const auto bytes = [](std::uint64_t end) { return (end + 7) / 8; };
    if (!best || bytes(best->end) > bytes(plan.plainEnd)) {
        const lh5::Token& lastToken = tokens.back();
        std::vector<HuffmanCode> cs = lengthenedFor(codes.c, freq.c, lastToken.code);
        cs.push_back(codes.c);
        std::vector<HuffmanCode> ps;
        if (lastToken.code >= 256)
            ps = lengthenedFor(codes.p, freq.p, lh5::offset_slot(lastToken.offset));
        ps.push_back(codes.p);
        for (const HuffmanCode& c : cs)
            for (const HuffmanCode& p : ps) {
                if (&c == &cs.back() && &p == &ps.back())
                    continue; // tried above
                std::optional<TailPlan> other = fittingPlan(tokens, freq, {c, p}, start);
                if (other && (!best || other->end < best->end))
                    best = std::move(other);
            }
    }
    plan.fits = best.has_value();
    if (best)
        plan.shape = std::move(*best);
    return plan;
}

void emitBlock(BitWriter& bits, std::span<const lh5::Token> tokens, const BlockPlan& plan)
{
    const BlockCodes& codes = plan.shape.codes;
    writeTables(bits, plan.freq.tokens, codes, plan.shape.table, plan.shape.pad);
    for (const lh5::Token& tok : tokens) {
        putCode(bits, codes.c, tok.code);
        if (tok.code >= 256) {
            const unsigned slot = lh5::offset_slot(tok.offset);
            putCode(bits, codes.p, slot);
            bits.put(lh5::slot_extra_bits(slot), tok.offset);
        }
    }
}

} // namespace

void BlockFrequencies::add(const lh5::Token& t)
{
    ++c[t.code];
    if (t.code >= 256)
        ++p[lh5::offset_slot(t.offset)];
    ++tokens;
}

void BlockFrequencies::add(const BlockFrequencies& other)
{
    for (std::size_t i = 0; i < c.size(); ++i)
        c[i] += other.c[i];
    for (std::size_t i = 0; i < p.size(); ++i)
        p[i] += other.p[i];
    tokens += other.tokens;
}

std::uint64_t Lh5BlockWriter::cost_bits(const BlockFrequencies& freq)
{
    const BlockCodes codes = chooseCodes(freq, false, false);
    return 16 + cTableBits(codes.c, false) + pTableBits(codes.p) + dataBits(freq.c, codes.c) +
           dataBits(freq.p, codes.p);
}

void Lh5BlockWriter::write(std::span<const lh5::Token> tokens, bool last)
{
    const std::uint64_t start = bits_.bits_written();
    BlockPlan whole = planBlock(tokens, start, last);
    // A shape that costs more than a byte (a frequent symbol given a long
    // code) is usually beaten by a short last block of its own, whose codes
    // are cheap to bend.
    if (last && (!whole.fits || whole.shape.end > whole.plainEnd + 8) &&
        tokens.size() >= 2 * kMinLastBlockSymbols) {
        const std::size_t cut = tokens.size() - kMinLastBlockSymbols;
        const BlockPlan head = planBlock(tokens.first(cut), start, false);
        const BlockPlan tail = planBlock(tokens.subspan(cut), head.shape.end, true);
        if (tail.fits && (!whole.fits || tail.shape.end < whole.shape.end)) {
            emitBlock(bits_, tokens.first(cut), head);
            emitBlock(bits_, tokens.subspan(cut), tail);
            return;
        }
    }
    // Without a shape the block is written as it is: every reader but unar
    // still takes it.
    emitBlock(bits_, tokens, whole);
}

} // namespace pelmora
