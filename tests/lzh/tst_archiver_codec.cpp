// SPDX-License-Identifier: GPL-3.0-or-later
// Building blocks of the writer: checksums, bit order, Huffman code lengths,
// the encoder's give-up limit, the level-2 header and the report buffer.
#include "archiver_test_support.h"
#include "lzh/bit_writer.h"
#include "lzh/crc16.h"
#include "lzh/huffman_code.h"
#include "lzh/lh5_encoder.h"
#include "lzh/lh5_optimal_parser.h"
#include "lzh/lzh_header_reader.h"
#include "lzh/lzh_header_writer.h"
#include "lzh/report_buffer.h"

#include <QBuffer>
#include <QTest>
#include <array>
#include <cstring>

using namespace pelmora;

namespace {

std::span<const std::uint8_t> bytesOf(const QByteArray& b)
{
    return {reinterpret_cast<const std::uint8_t*>(b.constData()),
            static_cast<std::size_t>(b.size())};
}

// Bit-at-a-time CRC-16 (polynomial 0xA001), the textbook definition.
std::uint16_t referenceCrc(std::span<const std::uint8_t> data)
{
    std::uint16_t c = 0;
    for (std::uint8_t b : data) {
        c ^= b;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? static_cast<std::uint16_t>((c >> 1) ^ 0xA001)
                        : static_cast<std::uint16_t>(c >> 1);
    }
    return c;
}

// Replays a parse: the bytes the tokens stand for, or a description of the
// first token that breaks the lh5 limits.
QString replay(const std::vector<lh5::Token>& tokens, QByteArray& out)
{
    out.clear();
    for (const lh5::Token& t : tokens) {
        if (t.code < 256) {
            out += static_cast<char>(t.code);
            continue;
        }
        const unsigned length = t.code - 256 + lh5::kMinMatch;
        const qsizetype distance = t.offset + 1;
        if (length > lh5::kMaxMatch || distance > lh5::kWindowSize || distance > out.size())
            return QStringLiteral("bad match %1 at distance %2 after %3 bytes")
                .arg(length)
                .arg(distance)
                .arg(out.size());
        for (unsigned i = 0; i < length; ++i)
            out += out[out.size() - distance];
    }
    return {};
}

// Checks that lengths form a complete prefix code within 16 bits and that the
// codes are canonical and distinct.
QString checkCode(const HuffmanCode& code)
{
    std::uint64_t kraft = 0;
    for (std::size_t s = 0; s < code.lengths().size(); ++s) {
        const unsigned len = code.lengths()[s];
        if (len > HuffmanCode::kMaxLength)
            return QStringLiteral("length over 16 bits");
        if (len)
            kraft += std::uint64_t{1} << (HuffmanCode::kMaxLength - len);
        for (std::size_t t = 0; t < s; ++t) {
            const unsigned l2 = code.lengths()[t];
            if (!len || !l2)
                continue;
            const unsigned m = std::min(len, l2);
            if ((code.codes()[s] >> (len - m)) == (code.codes()[t] >> (l2 - m)))
                return QStringLiteral("code %1 is a prefix of code %2").arg(t).arg(s);
        }
    }
    if (kraft != (std::uint64_t{1} << HuffmanCode::kMaxLength))
        return QStringLiteral("code is not complete");
    return {};
}

} // namespace

class ArchiverCodecTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void crcMatchesTheStandardCheckValue()
    {
        // CRC-16/ARC check value for "123456789".
        QCOMPARE(Crc16::of(bytesOf("123456789")), std::uint16_t{0xBB3D});
    }

    void crcFastPathAgreesWithBitwiseDefinition()
    {
        for (int len : {0, 1, 2, 3, 4, 5, 7, 8, 63, 64, 65, 1000, 4099}) {
            const QByteArray d = test::randomBytes(len, static_cast<std::uint64_t>(len) + 3);
            QCOMPARE(Crc16::of(bytesOf(d)), referenceCrc(bytesOf(d)));
        }
    }

    void crcCanBeFedInPieces()
    {
        const QByteArray d = test::randomBytes(10007, 9);
        Crc16 crc;
        for (qsizetype at = 0; at < d.size(); at += 333)
            crc.update(bytesOf(d.mid(at, 333)));
        QCOMPARE(crc.value(), referenceCrc(bytesOf(d)));
    }

    void bitWriterIsMostSignificantBitFirst()
    {
        std::vector<std::uint8_t> out;
        BitWriter bits(out);
        bits.put(3, 0b101);
        bits.put(9, 0b1'1000'0001);
        bits.put(16, 0xBEEF);
        bits.put(0, 0xFFFF); // nothing
        bits.put(1, 1);
        QCOMPARE(bits.bits_written(), std::uint64_t{29});
        bits.flush();
        // 101 110000001 1011111011101111 1 + 000 padding
        const std::vector<std::uint8_t> want = {0b1011'1000, 0b0001'1011, 0b1110'1110, 0b1111'1000};
        QCOMPARE(out, want);
    }

    void huffmanCodesAreCompleteAndPrefixFree()
    {
        std::array<std::uint32_t, 40> freq{};
        for (std::size_t i = 0; i < freq.size(); ++i)
            freq[i] = static_cast<std::uint32_t>((i * 7919) % 97 + (i % 3 == 0 ? 0 : 1));
        const HuffmanCode code = HuffmanCode::build(freq);
        QVERIFY(!code.single());
        const QString err = checkCode(code);
        QVERIFY2(err.isEmpty(), qPrintable(err));
        // Unused symbols get no code; more frequent ones never get longer codes.
        for (std::size_t a = 0; a < freq.size(); ++a) {
            QCOMPARE(code.lengths()[a] == 0, freq[a] == 0);
            for (std::size_t b = 0; b < freq.size(); ++b)
                if (freq[a] && freq[b] && freq[a] > freq[b])
                    QVERIFY(code.lengths()[a] <= code.lengths()[b]);
        }
    }

    void huffmanLengthsAreLimitedTo16Bits()
    {
        // Fibonacci counts give an unrestricted tree about 30 levels deep.
        std::array<std::uint32_t, 32> freq{};
        std::uint32_t a = 1, b = 1;
        for (auto& f : freq) {
            f = a;
            const std::uint32_t c = a + b;
            a = b;
            b = c;
        }
        const HuffmanCode code = HuffmanCode::build(freq);
        const QString err = checkCode(code);
        QVERIFY2(err.isEmpty(), qPrintable(err));
        QCOMPARE(*std::max_element(code.lengths().begin(), code.lengths().end()), std::uint8_t{16});
    }

    // A tighter limit still gives a complete code, and a limit too tight for
    // the number of symbols is raised to the least that holds them all.
    void huffmanLengthLimitIsKept()
    {
        std::array<std::uint32_t, 40> freq{};
        std::uint32_t f = 1;
        for (auto& x : freq) {
            x = f;
            f = f * 3 / 2 + 1;
        }
        for (unsigned limit : {15u, 12u, 9u, 7u, 6u, 5u, 3u}) {
            const HuffmanCode code = HuffmanCode::build(freq, limit);
            const QString err = checkCode(code);
            QVERIFY2(err.isEmpty(), qPrintable(err));
            const unsigned longest =
                *std::max_element(code.lengths().begin(), code.lengths().end());
            QCOMPARE(longest, std::max(limit, 6u)); // 40 symbols need 6 bits
        }
    }

    void huffmanWithOneOrNoSymbolIsSingle()
    {
        std::array<std::uint32_t, 14> none{};
        QVERIFY(HuffmanCode::build(none).single());
        QCOMPARE(HuffmanCode::build(none).single_symbol(), 0u);
        std::array<std::uint32_t, 14> one{};
        one[9] = 42;
        QVERIFY(HuffmanCode::build(one).single());
        QCOMPARE(HuffmanCode::build(one).single_symbol(), 9u);
    }

    void encoderGivesUpAtTheLimit()
    {
        const QByteArray noise = test::randomBytes(200000, 1);
        QVERIFY(!Lh5Encoder::compress(bytesOf(noise), noise.size()).has_value());
        const QByteArray text = QByteArray("売上報告 2026 ").repeated(10000);
        const auto packed = Lh5Encoder::compress(bytesOf(text), text.size());
        QVERIFY(packed.has_value());
        QVERIFY(packed->size() < static_cast<std::size_t>(text.size()) / 50);
        QVERIFY(!Lh5Encoder::compress(bytesOf(text), packed->size()).has_value());
        QVERIFY(!Lh5Encoder::compress({}, 0).has_value());
    }

    // The searched parse stands for exactly its input, within the window and
    // the match lengths of lh5: repeats at the window's edge and just past
    // it, runs long enough to be taken whole, ends in the middle of a match.
    void optimalParseReplaysItsInput_data()
    {
        QTest::addColumn<QByteArray>("input");
        const QByteArray unit = test::randomBytes(8192, 21);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("one byte") << QByteArray("x");
        QTest::newRow("four bytes") << QByteArray("abab");
        QTest::newRow("period of the window") << unit + unit + unit.left(3000);
        QTest::newRow("period past the window") << unit + "!" + unit;
        QTest::newRow("long runs") << QByteArray(5000, 'a') + "b" + QByteArray(70000, 'a');
        QTest::newRow("run to the end") << test::randomBytes(300, 2) + QByteArray(1000, '\0');
        QByteArray text;
        for (int i = 0; text.size() < 120000; ++i)
            text += "No." + QByteArray::number(i * 7919 % 1000) + ",東京本社,売上\r\n";
        QTest::newRow("csv") << text;
        QTest::newRow("noise") << test::randomBytes(100000, 4);
    }
    void optimalParseReplaysItsInput()
    {
        QFETCH(QByteArray, input);
        QByteArray out;
        const QString err = replay(Lh5OptimalParser::parse(bytesOf(input)), out);
        QVERIFY2(err.isEmpty(), qPrintable(err));
        QCOMPARE(out, input);
    }

    // On text the searched parse comes out smaller than the greedy one.
    void optimalParseBeatsTheGreedyOne()
    {
        QByteArray text;
        for (int i = 0; text.size() < 60000; ++i)
            text += "Row " + QByteArray::number(i * 7919 % 10007) + ", 見積 " +
                    QByteArray::number(i % 37) + " 件, total " + QByteArray::number(i * 13) + "\n";
        const auto greedy = Lh5Encoder::compress(bytesOf(text), text.size());
        const auto searched = Lh5Encoder::compress_optimal(bytesOf(text), text.size());
        QVERIFY(greedy && searched);
        QVERIFY2(searched->size() < greedy->size(),
                 qPrintable(QStringLiteral("%1 >= %2").arg(searched->size()).arg(greedy->size())));
        QVERIFY(!Lh5Encoder::compress_optimal(bytesOf(text), searched->size()).has_value());
    }

    // A member of several segments compresses to the same bytes on any
    // number of threads.
    void segmentsGiveTheSameBytesOnAnyThreads()
    {
        QByteArray data;
        for (int i = 0; data.size() < 3500000; ++i)
            data += "売上 " + QByteArray::number(i * 7919 % 100003) + " 件; " +
                    test::randomBytes(i % 7, static_cast<std::uint64_t>(i)) + "\r\n";
        const auto one = Lh5Encoder::compress(bytesOf(data), data.size(), 1);
        QVERIFY(one.has_value());
        for (unsigned threads : {2u, 5u}) {
            const auto many = Lh5Encoder::compress(bytesOf(data), data.size(), threads);
            QVERIFY(many.has_value());
            QVERIFY2(*many == *one, qPrintable(QStringLiteral("%1 threads").arg(threads)));
        }
    }

    void level2HeaderReadsBack()
    {
        NewMemberHeader h;
        h.method = "-lh5-";
        h.packedSize = 1234;
        h.originalSize = 99999;
        h.mtime = 1700000000;
        h.dataCrc = 0xBEEF;
        h.path = "home/u/経理/予算 2026.xls";
        h.unixMode = 0100644;
        std::vector<std::uint8_t> header = write_level2_header(h);
        QVERIFY((header.size() & 0xFF) != 0);
        QCOMPARE(header[20], std::uint8_t{2});
        QCOMPARE(static_cast<std::size_t>(header[0] | (header[1] << 8)), header.size());

        QByteArray archive(reinterpret_cast<const char*>(header.data()),
                           static_cast<qsizetype>(header.size()));
        archive += QByteArray(1234, 'd');
        archive += '\0';
        QBuffer buf(&archive);
        QVERIFY(buf.open(QIODevice::ReadOnly));
        std::string why;
        const auto members = read_members(buf, why);
        QVERIFY2(members.has_value(), why.c_str());
        QCOMPARE(members->size(), std::size_t{1});
        const ExistingMember& m = members->front();
        QCOMPARE(m.path, h.path);
        QCOMPARE(m.method, h.method);
        QCOMPARE(m.packedSize, h.packedSize);
        QCOMPARE(m.originalSize, h.originalSize);
        QCOMPARE(m.spanSize, header.size() + 1234u);

        // A flipped bit in the header breaks its CRC.
        archive[30] = static_cast<char>(archive[30] ^ 1);
        QBuffer bad(&archive);
        QVERIFY(bad.open(QIODevice::ReadOnly));
        QVERIFY(!read_members(bad, why).has_value());
    }

    // Only what a reader needs: for a plain ASCII name with mode 0644, the
    // base header, the header CRC, the name and the folder; other modes and
    // non-ASCII names add their extended headers.
    void level2HeaderIsLean()
    {
        NewMemberHeader h;
        h.method = "-lh5-";
        h.path = "a/b.xls";
        h.codePage = 65001;
        h.unixMode = 0100644;
        // Header CRC, name, folder and permissions (written for every mode).
        const std::size_t lean = 26 + 5 + (3 + 5) + (3 + 2) + 5;
        QCOMPARE(write_level2_header(h).size(), lean);
        h.unixMode = 0100644;
        h.path = "a/\xe8\xa1\xa8.xls"; // 表.xls
        QCOMPARE(write_level2_header(h).size(), lean + 2 + 7);
    }

    // Header sizes whose low byte would be 0 read as the end of the archive.
    void headerSizeNeverEndsInZeroByte()
    {
        for (int len = 1; len < 600; ++len) {
            NewMemberHeader h;
            h.method = "-lh0-";
            h.path = std::string(static_cast<std::size_t>(len), 'n');
            const auto header = write_level2_header(h);
            QVERIFY(header[0] != 0);
        }
    }

    void reportBufferIsBoundedAndTerminated()
    {
        const QString text = QStringLiteral("書庫を書き込めません: /tmp/x");
        std::array<char, 64> buf;
        for (std::uint32_t size : {1u, 2u, 3u, 4u, 5u, 7u, 10u, 64u}) {
            buf.fill('#');
            write_report(text, buf.data(), size);
            const std::size_t len = strnlen(buf.data(), size);
            QVERIFY(len < size);
            for (std::size_t i = size; i < buf.size(); ++i)
                QCOMPARE(buf[i], '#');
            const QByteArray got(buf.data(), static_cast<qsizetype>(len));
            QVERIFY(text.toUtf8().startsWith(got));
            QVERIFY(!QString::fromUtf8(got).contains(QChar::ReplacementCharacter));
        }
        buf.fill('#');
        write_report(text, buf.data(), 0);
        QCOMPARE(buf[0], '#');
        write_report(text, buf.data(), 64);
        QCOMPARE(QString::fromUtf8(buf.data()), text);
    }
};

QTEST_GUILESS_MAIN(ArchiverCodecTest)
#include "tst_archiver_codec.moc"
