#include "lzh/lh5_block_writer.h"

#include "lzh/huffman_code.h"

#include <array>
#include <bit>
#include <vector>

namespace pelmora {
namespace {

unsigned offsetSlot(unsigned offset)
{
    return static_cast<unsigned>(std::bit_width(offset));
}

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
    std::vector<unsigned> best(run + 1, kNone);
    std::vector<unsigned> step(run + 1, 0);
    best[0] = 0;
    for (unsigned i = 1; i <= run; ++i) {
        auto consider = [&](unsigned len, unsigned c) {
            if (c < kNone && best[i - len] < kNone && best[i - len] + c < best[i]) {
                best[i] = best[i - len] + c;
                step[i] = len;
            }
        };
        consider(1, cost(0, 0));
        for (unsigned len = 3; len <= 18 && len <= i; ++len)
            consider(len, cost(1, 4));
        for (unsigned len = 20; len <= 531 && len <= i; ++len)
            consider(len, cost(2, lh5::kCBits));
    }
    if (best[run] >= kNone) {
        emitZeroRun(run, nullptr, emit);
        return;
    }
    std::vector<unsigned> pieces;
    for (unsigned i = run; i > 0; i -= step[i])
        pieces.push_back(step[i]);
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
        if (*it == 1)
            emit(0, 0, 0);
        else if (*it <= 18)
            emit(1, 4, *it - 3);
        else
            emit(2, lh5::kCBits, *it - 20);
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

// Code lengths of the pt and offset tables: 3 bits for 0..6; a length k of 7
// or more as k - 3 bits, all one but the last. After `special` entries a 2-bit
// count skips up to three zero lengths (used by the pt table only).
void writePtLengths(BitWriter& bits, const HuffmanCode& code, unsigned countBits, int special)
{
    const std::vector<std::uint8_t>& len = code.lengths();
    const std::size_t n = usedLength(len);
    bits.put(countBits, static_cast<std::uint32_t>(n));
    std::size_t i = 0;
    while (i < n) {
        const unsigned k = len[i++];
        if (k <= 6)
            bits.put(3, k);
        else
            bits.put(k - 3, (1u << (k - 3)) - 2);
        if (static_cast<int>(i) == special) {
            while (i < 6 && len[i] == 0)
                ++i;
            bits.put(2, static_cast<std::uint32_t>(i - 3));
        }
    }
}

void writeTable(BitWriter& bits, const HuffmanCode& code, unsigned countBits, int special)
{
    if (code.single()) {
        bits.put(countBits, 0);
        bits.put(countBits, code.singleSymbol());
    } else {
        writePtLengths(bits, code, countBits, special);
    }
}

} // namespace

void BlockFrequencies::add(const lh5::Token& t)
{
    ++c[t.code];
    if (t.code >= 256)
        ++p[offsetSlot(t.offset)];
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

namespace {

struct BlockCodes
{
    HuffmanCode c;
    HuffmanCode p;
};

// Everything in front of the symbols: count, pt table, literal/length table,
// offset table.
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

// Bits of the pt table and of the literal/length lengths sent with it.
std::uint64_t cLengthsCost(const std::vector<std::uint8_t>& cLengths, const TLengths* policy,
                           const HuffmanCode& t)
{
    std::vector<std::uint8_t> scratch;
    BitWriter bits(scratch);
    writeTable(bits, t, lh5::kTBits, 3);
    std::uint64_t total = bits.bitsWritten();
    walkCLengths(cLengths, policy, [&](unsigned sym, unsigned extraBits, unsigned) {
        total += t.lengths()[sym] + extraBits;
    });
    return total;
}

// With `tune`, the zero runs of the literal/length lengths are sent in the
// cheapest form under the pt code of the usual form, when that pays.
BlockCodes writeTables(BitWriter& bits, const BlockFrequencies& freq, bool tune = false,
                       bool last = false)
{
    BlockCodes codes{HuffmanCode::build(freq.c), HuffmanCode::build(freq.p)};
    const bool noBits = last && codes.c.single() && codes.p.single() && codes.p.singleSymbol() <= 1;
    if (noBits && codes.c.singleSymbol() < 256)
        codes.c = HuffmanCode::build(withTwoSymbols(freq.c));
    else if (noBits)
        codes.p = HuffmanCode::build(withTwoSymbols(freq.p));
    const HuffmanCode& c = codes.c;
    bits.put(16, static_cast<std::uint32_t>(freq.tokens));
    if (c.single()) {
        bits.put(lh5::kTBits, 0);
        bits.put(lh5::kTBits, 0);
        bits.put(lh5::kCBits, 0);
        bits.put(lh5::kCBits, c.singleSymbol());
        writeTable(bits, codes.p, lh5::kPBits, -1);
        return codes;
    }
    std::array<std::uint32_t, lh5::kNumT> tFreq{};
    walkCLengths(c.lengths(), nullptr, [&](unsigned sym, unsigned, unsigned) { ++tFreq[sym]; });
    HuffmanCode t = HuffmanCode::build(tFreq);
    TLengths tuned;
    const TLengths* policy = nullptr;
    if (tune && !t.single()) {
        tuned = t.lengths();
        std::array<std::uint32_t, lh5::kNumT> tunedFreq{};
        walkCLengths(c.lengths(), &tuned,
                     [&](unsigned sym, unsigned, unsigned) { ++tunedFreq[sym]; });
        HuffmanCode t2 = HuffmanCode::build(tunedFreq);
        if (!t2.single() &&
            cLengthsCost(c.lengths(), &tuned, t2) < cLengthsCost(c.lengths(), nullptr, t)) {
            t = std::move(t2);
            policy = &tuned;
        }
    }
    writeTable(bits, t, lh5::kTBits, 3);
    bits.put(lh5::kCBits, static_cast<std::uint32_t>(usedLength(c.lengths())));
    walkCLengths(c.lengths(), policy, [&](unsigned sym, unsigned extraBits, unsigned extra) {
        putCode(bits, t, sym);
        bits.put(extraBits, extra);
    });
    writeTable(bits, codes.p, lh5::kPBits, -1);
    return codes;
}

} // namespace

std::uint64_t Lh5BlockWriter::costBits(const BlockFrequencies& freq)
{
    std::vector<std::uint8_t> scratch;
    BitWriter bits(scratch);
    const BlockCodes codes = writeTables(bits, freq);
    std::uint64_t total = bits.bitsWritten();
    for (std::size_t i = 0; i < freq.c.size(); ++i)
        total += std::uint64_t{freq.c[i]} * codes.c.lengths()[i];
    for (std::size_t i = 0; i < freq.p.size(); ++i)
        total += std::uint64_t{freq.p[i]} * codes.p.lengths()[i];
    return total;
}

void Lh5BlockWriter::write(std::span<const lh5::Token> tokens, bool last)
{
    BlockFrequencies freq;
    for (const lh5::Token& t : tokens)
        freq.add(t);
    const BlockCodes codes = writeTables(bits_, freq, true, last);
    for (const lh5::Token& tok : tokens) {
        putCode(bits_, codes.c, tok.code);
        if (tok.code >= 256) {
            const unsigned slot = offsetSlot(tok.offset);
            putCode(bits_, codes.p, slot);
            if (slot > 1)
                bits_.put(slot - 1, tok.offset);
        }
    }
}

} // namespace pelmora
