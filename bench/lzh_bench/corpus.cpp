// SPDX-License-Identifier: GPL-3.0-or-later
#include "corpus.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLibraryInfo>
#include <QStringEncoder>
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

QByteArray toCp932(const QByteArray& utf8)
{
    QStringEncoder e("windows-31j");
    return e(QString::fromUtf8(utf8));
}

// An OLE compound file in outline, as old .XLS and .DOC files are: a 512-byte
// header, sectors of BIFF-like records (type, length, small fields, UTF-16
// strings), a FAT of sector chains and zero-padded ends of streams.
QByteArray makeCompoundFile(std::size_t size, std::uint64_t seed)
{
    Rng rng(seed);
    QByteArray out("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    out.append(504, '\0');
    const std::array<const char16_t*, 8> strings = {u"売上集計",        u"東京本社", u"合計",
                                                    u"Sheet1",          u"予算",     u"Arial",
                                                    u"ＭＳ Ｐゴシック", u"備考"};
    while (static_cast<std::size_t>(out.size()) < size) {
        QByteArray sector;
        const unsigned kind = rng.below(10);
        if (kind < 6) { // records
            while (sector.size() < 512 - 24) {
                const std::uint16_t type = static_cast<std::uint16_t>(0x200 + rng.skewed(40));
                QByteArray body;
                const unsigned fields = 2 + rng.below(6);
                for (unsigned f = 0; f < fields; ++f) {
                    const std::uint16_t v = static_cast<std::uint16_t>(rng.skewed(300));
                    body.append(reinterpret_cast<const char*>(&v), 2);
                }
                if (rng.below(3) == 0) {
                    const char16_t* w = strings[rng.skewed(strings.size())];
                    const QString t = QString::fromUtf16(w);
                    body.append(reinterpret_cast<const char*>(t.utf16()), t.size() * 2);
                }
                if (rng.below(4) == 0) {
                    const double d = static_cast<double>(rng.skewed(1000000)) / 100.0;
                    body.append(reinterpret_cast<const char*>(&d), 8);
                }
                const auto len = static_cast<std::uint16_t>(body.size());
                sector.append(reinterpret_cast<const char*>(&type), 2);
                sector.append(reinterpret_cast<const char*>(&len), 2);
                sector += body;
            }
        } else if (kind < 8) { // FAT: mostly consecutive chains
            std::uint32_t next = static_cast<std::uint32_t>(out.size() / 512);
            for (int i = 0; i < 128; ++i) {
                const std::uint32_t v = rng.below(20) == 0 ? 0xFFFFFFFEu : ++next;
                sector.append(reinterpret_cast<const char*>(&v), 4);
            }
        } else if (kind < 9) { // the end of a stream
            sector.append(static_cast<qsizetype>(rng.below(200)), '\x01');
        }
        sector.resize(512, '\0');
        out += sector;
    }
    out.truncate(static_cast<qsizetype>(size));
    return out;
}

} // namespace

std::vector<Corpus> makeCorpora(const QString& sourceDir)
{
    constexpr std::size_t MiB = 1024 * 1024;
    std::vector<Corpus> all;
    all.push_back({QStringLiteral("cp932-csv"),
                   {{QStringLiteral("sheet.csv"), toCp932(makeSheet(6 * MiB))}}});
    all.push_back(
        {QStringLiteral("cp932-text"), {{QStringLiteral("text.txt"), toCp932(makeText(6 * MiB))}}});

    Corpus source{QStringLiteral("source"), {}};
    QDirIterator it(sourceDir, {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
    QStringList paths;
    while (it.hasNext())
        paths << it.next();
    paths.sort();
    for (const QString& p : paths) {
        QFile f(p);
        if (f.open(QIODevice::ReadOnly))
            source.files.push_back(
                {QStringLiteral("src/") + QDir(sourceDir).relativeFilePath(p), f.readAll()});
    }
    all.push_back(std::move(source));

    all.push_back({QStringLiteral("office-bin"),
                   {{QStringLiteral("book.xls"), makeCompoundFile(4 * MiB, 5)},
                    {QStringLiteral("memo.doc"), makeCompoundFile(2 * MiB, 6)},
                    {QStringLiteral("records.bin"), makeBinary(3 * MiB)}}});

    Corpus exe{QStringLiteral("executable"), {}};
    QFile core(QLibraryInfo::path(QLibraryInfo::LibrariesPath) +
               QStringLiteral("/libQt6Core.so.6"));
    if (core.open(QIODevice::ReadOnly))
        exe.files.push_back({QStringLiteral("libQt6Core.so.6"), core.readAll()});
    if (!exe.files.empty())
        all.push_back(std::move(exe));

    Corpus packed{QStringLiteral("compressed"), {}, true};
    packed.files.push_back({QStringLiteral("text.z"), qCompress(makeText(8 * MiB), 9)});
    all.push_back(std::move(packed));

    all.push_back(
        {QStringLiteral("zeros"), {{QStringLiteral("zeros.bin"), QByteArray(16 * MiB, '\0')}}});
    all.push_back(
        {QStringLiteral("random"), {{QStringLiteral("random.bin"), makeRandom(4 * MiB)}}, true});

    Corpus small{QStringLiteral("1000-small"), {}};
    Rng rng(7);
    const QByteArray text = toCp932(makeText(2 * MiB));
    const QByteArray sheet = toCp932(makeSheet(2 * MiB));
    for (int i = 0; i < 1000; ++i) {
        const QByteArray& from = i % 2 ? text : sheet;
        const unsigned len = 100 + rng.below(1300);
        const unsigned at = rng.below(static_cast<unsigned>(from.size()) - len);
        small.files.push_back({QStringLiteral("d%1/f%2.%3")
                                   .arg(i % 10)
                                   .arg(i)
                                   .arg(i % 2 ? QStringLiteral("txt") : QStringLiteral("csv")),
                               from.mid(at, len)});
    }
    all.push_back(std::move(small));
    return all;
}

} // namespace pelmora::bench
