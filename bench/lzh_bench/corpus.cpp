#include "corpus.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace pelmora::bench {
namespace {

// Small, fixed PRNG (xorshift64*): std:: distributions differ between
// standard libraries, this does not.
class Rng final
{
public:
    explicit Rng(std::uint64_t seed) : s_(seed) {}
    std::uint64_t next()
    {
        s_ ^= s_ >> 12;
        s_ ^= s_ << 25;
        s_ ^= s_ >> 27;
        return s_ * 2685821657736338717ull;
    }
    unsigned below(unsigned n) { return static_cast<unsigned>(next() % n); }
    // Skewed towards small values, like word frequencies.
    unsigned skewed(unsigned n)
    {
        const unsigned a = below(n);
        return below(a + 1);
    }

private:
    std::uint64_t s_;
};

const std::array<const char*, 40> kWords = {
    "the",        "report",  "of",       "quarterly", "sales",    "and",     "budget",
    "meeting",    "minutes", "project",  "schedule",  "customer", "invoice", "delivery",
    "department", "review",  "approved", "pending",   "total",    "amount",  "section",
    "会議",       "議事録",  "報告書",   "売上",      "予算",     "部署",    "承認",
    "顧客",       "請求書",  "納品",     "合計",      "金額",     "確認",    "お願いします",
    "について",   "です。",  "ます。",   "、",        "資料"};

QByteArray makeText(std::size_t size)
{
    Rng rng(1);
    QByteArray out;
    out.reserve(static_cast<qsizetype>(size));
    unsigned inLine = 0;
    while (static_cast<std::size_t>(out.size()) < size) {
        out += kWords[rng.skewed(kWords.size())];
        if (rng.below(9) == 0)
            out += QByteArray::number(rng.below(100000));
        out += ' ';
        if (++inLine > 8 + rng.below(10)) {
            out += "\r\n";
            inLine = 0;
        }
    }
    out.truncate(static_cast<qsizetype>(size));
    return out;
}

QByteArray makeSheet(std::size_t size)
{
    Rng rng(2);
    const std::array<const char*, 6> cats = {"東京本社", "大阪支店",   "名古屋営業所",
                                             "福岡支店", "札幌営業所", "本部"};
    QByteArray out = "No,日付,部署,品目コード,数量,単価,金額,備考\r\n";
    unsigned row = 1;
    while (static_cast<std::size_t>(out.size()) < size) {
        const unsigned qty = 1 + rng.skewed(500);
        const unsigned price = 100 * (1 + rng.below(300));
        out += QByteArray::number(row++) + ",2026/" + QByteArray::number(1 + rng.below(12)) + "/" +
               QByteArray::number(1 + rng.below(28)) + "," + cats[rng.skewed(cats.size())] + ",A-" +
               QByteArray::number(1000 + rng.skewed(9000)) + "," + QByteArray::number(qty) + "," +
               QByteArray::number(price) + "," + QByteArray::number(qty * price) + "," +
               (rng.below(5) == 0 ? "至急" : "") + "\r\n";
    }
    out.truncate(static_cast<qsizetype>(size));
    return out;
}

// Binary in the manner of an old office file: fixed-size records of small
// integers, runs of zero padding, a string table and some float data.
QByteArray makeBinary(std::size_t size)
{
    Rng rng(3);
    QByteArray out;
    out.reserve(static_cast<qsizetype>(size));
    std::uint32_t counter = 0;
    while (static_cast<std::size_t>(out.size()) < size) {
        switch (rng.below(4)) {
        case 0: // records
            for (int i = 0; i < 64; ++i) {
                std::array<std::uint32_t, 4> rec = {counter++, rng.skewed(1000), 0x00010002u,
                                                    rng.below(4) == 0 ? rng.below(1u << 30) : 0};
                out.append(reinterpret_cast<const char*>(rec.data()), sizeof rec);
            }
            break;
        case 1: // padding
            out.append(static_cast<qsizetype>(64 * (1 + rng.below(16))), '\0');
            break;
        case 2: // strings
            for (int i = 0; i < 16; ++i) {
                const char* w = kWords[rng.skewed(kWords.size())];
                const auto len = static_cast<std::uint16_t>(std::strlen(w));
                out.append(reinterpret_cast<const char*>(&len), 2);
                out.append(w, len);
            }
            break;
        default: // floats
            for (int i = 0; i < 64; ++i) {
                const double v = static_cast<double>(rng.skewed(100000)) / 100.0;
                out.append(reinterpret_cast<const char*>(&v), sizeof v);
            }
            break;
        }
    }
    out.truncate(static_cast<qsizetype>(size));
    return out;
}

QByteArray makeRandom(std::size_t size)
{
    Rng rng(4);
    QByteArray out(static_cast<qsizetype>(size), '\0');
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        const std::uint64_t v = rng.next();
        std::memcpy(out.data() + i, &v, 8);
    }
    return out;
}

} // namespace

std::vector<CorpusFile> makeCorpus()
{
    constexpr std::size_t MiB = 1024 * 1024;
    return {{QStringLiteral("text.txt"), makeText(7 * MiB)},
            {QStringLiteral("sheet.csv"), makeSheet(6 * MiB)},
            {QStringLiteral("binary.bin"), makeBinary(5 * MiB)},
            {QStringLiteral("random.bin"), makeRandom(2 * MiB)}};
}

} // namespace pelmora::bench
