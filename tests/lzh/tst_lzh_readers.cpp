// SPDX-License-Identifier: GPL-3.0-or-later
// Archives written by Unlha must extract, byte for byte and under the same
// names, with Debian's independent LZH readers.
#include "archiver_test_support.h"
#include "lzh/lzh_header_reader.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <set>

using namespace pelmora;
using namespace pelmora::test;

#define ARCHIVE_AND_CHECK(members, ...)                                                            \
    do {                                                                                           \
        const QString failure_ =                                                                   \
            archiveAndCheck(std::map<QString, QByteArray>(__VA_ARGS__), members);                  \
        QVERIFY2(failure_.isEmpty(), qPrintable(failure_));                                        \
    } while (false)

class LzhReadersTest final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir tmp_;
    int round_ = 0;
    QString lastArchive_; // written by the last archiveAndCheck()

    // Writes `files` (path below the temp dir -> bytes), archives them with
    // one "u" call and checks the archive with every reader.
    QString archiveAndCheck(const std::map<QString, QByteArray>& files,
                            std::vector<ExistingMember>& members)
    {
        const QString dir = tmp_.path() + QStringLiteral("/r%1").arg(++round_);
        QStringList paths;
        std::map<QString, QByteArray> expected;
        for (const auto& [rel, bytes] : files) {
            const QString path = dir + QStringLiteral("/src/") + rel;
            if (!writeFile(path, bytes))
                return QStringLiteral("cannot write ") + path;
            paths << path;
            expected[storedName(path)] = bytes;
        }
        const QString archive = dir + QStringLiteral("/OUT.LZH");
        lastArchive_ = archive;
        const UnlhaCall call = updateWith(archive, dir + QStringLiteral("/0LIST.TMP"), paths);
        if (call.code != 0)
            return QStringLiteral("Unlha failed (%1): %2").arg(call.code).arg(call.report);
        QStringList checked;
        const QString err =
            checkWithReaders(archive, expected, dir + QStringLiteral("/x"), checked);
        if (!err.isEmpty())
            return err;
        QFile f(archive);
        std::string why;
        if (!f.open(QIODevice::ReadOnly))
            return QStringLiteral("cannot reopen the archive");
        auto read = read_members(f, why);
        if (!read)
            return QStringLiteral("our own reader rejects the archive: ") +
                   QString::fromStdString(why);
        members = std::move(*read);
        qInfo("checked with %s", qPrintable(checked.join(QStringLiteral(", "))));
        return {};
    }

    static const ExistingMember* find(const std::vector<ExistingMember>& ms, const QString& tail)
    {
        for (const ExistingMember& m : ms)
            if (QString::fromStdString(m.path).endsWith(tail))
                return &m;
        return nullptr;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(tmp_.isValid()); }

    void emptyFileIsStored()
    {
        std::vector<ExistingMember> ms;
        ARCHIVE_AND_CHECK(ms, {{QStringLiteral("empty.xls"), {}}});
        QCOMPARE(ms.size(), std::size_t{1});
        QCOMPARE(ms[0].method, std::string("-lh0-"));
        QCOMPARE(ms[0].originalSize, 0u);
    }

    void incompressibleFileIsStoredNotGrown()
    {
        const QByteArray data = randomBytes(20 * 1024 * 1024, 7);
        std::vector<ExistingMember> ms;
        ARCHIVE_AND_CHECK(ms, {{QStringLiteral("noise.bin"), data}});
        QCOMPARE(ms.size(), std::size_t{1});
        QCOMPARE(ms[0].method, std::string("-lh0-"));
        QCOMPARE(ms[0].dataSize, static_cast<std::uint32_t>(data.size()));
    }

    void repetitiveDataShrinksAndRoundTrips()
    {
        QByteArray lines;
        for (int i = 0; lines.size() < 3 * 1024 * 1024; ++i)
            lines += "売上,2026/01/01,東京本社," + QByteArray::number(i % 97) + "\r\n";
        const QByteArray zeros(1024 * 1024, '\0');
        std::vector<ExistingMember> ms;
        ARCHIVE_AND_CHECK(
            ms, {{QStringLiteral("sheet.csv"), lines}, {QStringLiteral("zeros.bin"), zeros}});
        const ExistingMember* csv = find(ms, QStringLiteral("sheet.csv"));
        const ExistingMember* z = find(ms, QStringLiteral("zeros.bin"));
        QVERIFY(csv && z);
        QCOMPARE(csv->method, std::string("-lh5-"));
        QVERIFY2(csv->dataSize < static_cast<std::uint32_t>(lines.size() / 10),
                 "highly repetitive text should shrink more than tenfold");
        QVERIFY(z->dataSize < 1024u);
    }

    // Every archive ends with the end mark, behind a compressed last member
    // as behind a stored (empty or incompressible) one, and every reader
    // extracts it all.
    void endMarkBehindEveryLastMember()
    {
        const QByteArray text = QByteArray("見積書 2026 ").repeated(4000);
        const QByteArray noise = randomBytes(70000, 3);
        const std::map<QString, QByteArray> cases[] = {
            {{QStringLiteral("a.txt"), text}, {QStringLiteral("b.bin"), noise}},
            {{QStringLiteral("a.bin"), noise}, {QStringLiteral("b.txt"), text}},
            {{QStringLiteral("a.txt"), text}, {QStringLiteral("b.xls"), {}}},
            {{QStringLiteral("a.bin"), noise}}};
        for (const auto& files : cases) {
            std::vector<ExistingMember> ms;
            ARCHIVE_AND_CHECK(ms, files);
            QCOMPARE(ms.size(), files.size());
            std::uint64_t spans = 0;
            for (const ExistingMember& m : ms)
                spans += m.spanSize;
            const QByteArray bytes = readFile(lastArchive_);
            QCOMPARE(ms.back().method == "-lh0-", !files.rbegin()->first.endsWith(u".txt"));
            QCOMPARE(static_cast<std::uint64_t>(bytes.size()), spans + 1);
            QCOMPARE(bytes.back(), '\0');
        }
    }

    // Members small enough for the searched parse, in shapes that reach its
    // edges: matches at the window's full distance, runs taken whole up to
    // the end of the member, more symbols than one block holds, a few bytes.
    void smallMembersOfEveryShape()
    {
        const QByteArray unit = randomBytes(8192, 31);
        QByteArray nibbles = randomBytes(120000, 32); // 16 byte values: literals, few matches
        for (char& c : nibbles)
            c = static_cast<char>('A' + (static_cast<unsigned char>(c) & 15));
        QByteArray text;
        for (int i = 0; text.size() < 100000; ++i)
            text += "No." + QByteArray::number(i * 7919 % 1000) + ",大阪支店,納品\r\n";
        std::vector<ExistingMember> ms;
        ARCHIVE_AND_CHECK(
            ms, {{QStringLiteral("window.bin"), unit + unit + unit.left(5000)},
                 {QStringLiteral("past.bin"), unit + "!" + unit},
                 {QStringLiteral("runs.bin"), QByteArray(3000, 'a') + "b" + QByteArray(60000, 'a')},
                 {QStringLiteral("tail.bin"), text.left(500) + QByteArray(900, 0)},
                 {QStringLiteral("nibbles.txt"), nibbles},
                 {QStringLiteral("sheet.csv"), text},
                 {QStringLiteral("abc.txt"), "abcabcabc"}});
        for (const ExistingMember& m : ms)
            if (m.storedPath.ends_with("nibbles.txt") || m.storedPath.ends_with("sheet.csv"))
                QCOMPARE(m.method, std::string("-lh5-"));
    }

    // Header lengths 200..600, across 256 and 512 (whose first size byte would
    // read as the end mark), from names and folders of every length; members
    // keep rw-r--r-- through lhasa, which would otherwise make them 0600.
    void headerLengthsAcrossEvery256()
    {
        std::map<QString, QByteArray> files;
        const QString one(100, u'a');
        const QString two = one + u'/' + QString(200, u'c');
        for (int k = 1; k <= 250; ++k) {
            files[one + u'/' + QString(k, u'b')] = QByteArray::number(k);
            files[two + u'/' + QString(k, u'b')] = QByteArray::number(k);
        }
        std::vector<ExistingMember> ms;
        const QString failure = archiveAndCheck(files, ms);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        std::set<std::uint64_t> sizes;
        for (const ExistingMember& m : ms) {
            const std::uint64_t header = m.spanSize - m.dataSize;
            QVERIFY2(header % 256 != 0, m.storedPath.c_str());
            sizes.insert(header);
        }
        for (std::uint64_t n = 200; n <= 600; ++n)
            QVERIFY2(n % 256 == 0 || sizes.count(n), qPrintable(QString::number(n)));

        const QString into = tmp_.path() + QStringLiteral("/lhasa-modes");
        QVERIFY2(extract(reader(QStringLiteral("lhasa")), lastArchive_, into).isEmpty(), "lhasa");
        QDirIterator it(into, QDir::Files, QDirIterator::Subdirectories);
        int seen = 0;
        for (; it.hasNext(); ++seen) {
            const QString path = it.next();
            QCOMPARE(QFile::permissions(path) & 0x7077,
                     QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        }
        QCOMPARE(seen, 500);
    }

    // Blocks whose tables hold a single symbol each: zero-bit codes, with and
    // without offset extra bits, over several 128 KiB output windows and
    // several segments, and one followed only by a segment of one byte (a
    // last block that small fails in libarchive).
    void singleSymbolBlocks()
    {
        std::vector<ExistingMember> ms;
        ARCHIVE_AND_CHECK(
            ms, {{QStringLiteral("period10.txt"), QByteArray("abcabcabd\n").repeated(300000)},
                 {QStringLiteral("zeros.bin"), QByteArray(917505, '\0')},
                 {QStringLiteral("ones.bin"), QByteArray(786432, '\xff')},
                 {QStringLiteral("zeros-segments.bin"), QByteArray(3 * 1024 * 1024 + 5, '\0')},
                 {QStringLiteral("zeros-tail.bin"), QByteArray(1024 * 1024 + 1, '\0')}});
        for (const ExistingMember& m : ms)
            QVERIFY(m.dataSize < 8192u);
        // Such a block costs one bit per symbol as a member's last block, so
        // the last block of a long run is kept to one symbol.
        const ExistingMember* z = find(ms, QStringLiteral("zeros-segments.bin"));
        QVERIFY(z != nullptr);
        QVERIFY2(z->dataSize < 200u, qPrintable(QString::number(z->dataSize)));
    }

    // Members that end just past or just short of a segment boundary, in the
    // shapes whose last blocks are smallest: runs, a run and one other byte,
    // a short period, text trailing off into zeros.
    void segmentEdgesRoundTrip()
    {
        constexpr qsizetype MiB = 1024 * 1024;
        std::map<QString, QByteArray> files;
        int n = 0;
        for (const qsizetype size :
             {MiB - 3, MiB + 1, MiB + 3, MiB + 300, 2 * MiB + 2, 3 * MiB - 1}) {
            QByteArray zeros(size, '\0');
            QByteArray lone = zeros;
            lone[size - 1] = 'x';
            QByteArray period(size, '\0');
            for (qsizetype i = 0; i < size; ++i)
                period[i] = i % 2 ? '\x97' : '_';
            QByteArray text =
                QByteArray("売上 2026 報告, ").repeated(static_cast<qsizetype>(size / 40));
            text += QByteArray(size - text.size(), '\0');
            for (const QByteArray& d : {zeros, lone, period, text})
                files[QStringLiteral("edges/f%1.bin").arg(++n)] = d;
        }
        std::vector<ExistingMember> ms;
        ARCHIVE_AND_CHECK(ms, files);
        QCOMPARE(ms.size(), files.size());
    }

    // Matches at the far end of the 8 KiB window, and a block boundary inside
    // a long run of matches.
    void matchesAtFullWindowDistance()
    {
        const QByteArray unit = randomBytes(8192, 11);
        QByteArray data;
        for (int i = 0; i < 40; ++i)
            data += unit;
        std::vector<ExistingMember> ms;
        ARCHIVE_AND_CHECK(ms, {{QStringLiteral("period8k.bin"), data}});
        QCOMPARE(ms[0].method, std::string("-lh5-"));
        QVERIFY(ms[0].dataSize < static_cast<std::uint32_t>(data.size() / 4));
    }

    // Skewed symbol counts make unrestricted Huffman codes longer than the 16
    // bits lh5 allows; the length limit must still give a decodable table.
    void deeplySkewedSymbolsStayDecodable()
    {
        QByteArray data;
        std::uint64_t a = 1, b = 1;
        for (int sym = 0; sym < 28; ++sym) {
            data += QByteArray(static_cast<qsizetype>(a), static_cast<char>(sym * 9 + 1));
            const std::uint64_t c = a + b;
            a = b;
            b = c;
        }
        // Break the runs up so that literals, not matches, carry the skew.
        QByteArray mixed = randomBytes(data.size(), 5);
        for (qsizetype i = 0; i < data.size(); ++i)
            if (i % 3 == 0)
                mixed[i] = data[i];
        std::vector<ExistingMember> ms;
        ARCHIVE_AND_CHECK(
            ms, {{QStringLiteral("skew.bin"), data}, {QStringLiteral("mixed.bin"), mixed}});
    }

    // Many differently shaped inputs in one archive: copies from every
    // distance up to the window size, runs, noise and text, in sizes around
    // block and window boundaries.
    void variedShapesRoundTrip()
    {
        std::map<QString, QByteArray> files;
        std::uint64_t s = 12345;
        auto next = [&s](std::uint64_t n) {
            s = s * 6364136223846793005ull + 1442695040888963407ull;
            return (s >> 33) % n;
        };
        for (int f = 0; f < 40; ++f) {
            QByteArray d;
            const qsizetype size = static_cast<qsizetype>(1 + next(f < 20 ? 5000 : 400000));
            while (d.size() < size) {
                switch (next(4)) {
                case 0:
                    d += test::randomBytes(static_cast<qsizetype>(1 + next(300)), s);
                    break;
                case 1:
                    d += QByteArray(static_cast<qsizetype>(1 + next(600)),
                                    static_cast<char>(next(256)));
                    break;
                case 2:
                    if (!d.isEmpty()) {
                        const qsizetype dist = static_cast<qsizetype>(
                            1 + next(std::min<std::uint64_t>(8192, d.size())));
                        const qsizetype len = static_cast<qsizetype>(3 + next(400));
                        for (qsizetype i = 0; i < len; ++i)
                            d += d[d.size() - dist];
                    }
                    break;
                default:
                    d += "売上 " + QByteArray::number(static_cast<qulonglong>(next(100000))) +
                         " 件\r\n";
                    break;
                }
            }
            d.truncate(size);
            files[QStringLiteral("shapes/f%1.bin").arg(f)] = d;
        }
        std::vector<ExistingMember> ms;
        ARCHIVE_AND_CHECK(ms, files);
        QCOMPARE(ms.size(), files.size());
    }

    void mixedContentUsesLh5()
    {
        QByteArray text;
        for (int i = 0; text.size() < 600 * 1024; ++i)
            text += "Line " + QByteArray::number(i * 7919 % 10007) + " of the 報告書 draft; " +
                    randomBytes(i % 5, i) + "\n";
        std::vector<ExistingMember> ms;
        ARCHIVE_AND_CHECK(ms, {{QStringLiteral("doc.txt"), text}});
        QCOMPARE(ms[0].method, std::string("-lh5-"));
        QVERIFY(ms[0].dataSize < static_cast<std::uint32_t>(text.size()));
    }

    void manySmallFiles()
    {
        std::map<QString, QByteArray> files;
        for (int i = 0; i < 300; ++i)
            files[QStringLiteral("d%1/file%2.doc").arg(i % 7).arg(i)] =
                QByteArray::number(i) + QByteArray(i % 50, 'x') + randomBytes(i % 13, i);
        std::vector<ExistingMember> ms;
        ARCHIVE_AND_CHECK(ms, files);
        QCOMPARE(ms.size(), files.size());
    }

    void japaneseNamesComeBackExactly()
    {
        std::vector<ExistingMember> ms;
        ARCHIVE_AND_CHECK(ms, {{QStringLiteral("経理部/予算 2026年度.xls"), "yosan"},
                               {QStringLiteral("営業/議事録①・ｶﾀｶﾅ〜.doc"), "gijiroku"},
                               {QStringLiteral("表/ソ十能予.xls"), "sjis trouble chars"}});
    }

    // The name form chosen for Japanese names (UTF-8 marked with code page
    // 65001), pinned per reader: lhasa, bsdtar and 7z give the name back
    // exactly; jlha reads it as Latin-1 without its "y" option and as
    // Shift_JIS with it, so it garbles the name either way; unar guesses the
    // encoding from the bytes, wrongly for this name, unless told. A change
    // in any reader shows up here.
    void japaneseNameFormPerReader()
    {
        const QString dir = tmp_.path() + QStringLiteral("/names");
        const QString rel = QStringLiteral("経理部/予算①～表.xls");
        const QString path = dir + QStringLiteral("/src/") + rel;
        QVERIFY(writeFile(path, "name form"));
        const QString archive = dir + QStringLiteral("/N.LZH");
        QCOMPARE(updateWith(archive, dir + QStringLiteral("/0L.TMP"), {path}).code, 0);
        QFile f(archive);
        QVERIFY(f.open(QIODevice::ReadOnly));
        std::string why;
        const auto ms = read_members(f, why);
        QVERIFY(ms && ms->size() == 1);
        QCOMPARE(QString::fromStdString(ms->front().storedPath), storedName(path));
        QCOMPARE(ms->front().codePage, std::optional<std::uint32_t>(65001));

        struct Case
        {
            const char* reader;
            QStringList args;
            bool exact;
        };
        const Case cases[] = {{"lhasa", {QStringLiteral("xqf")}, true},
                              {"bsdtar", {QStringLiteral("-xf")}, true},
                              {"7z", {QStringLiteral("x"), QStringLiteral("-y")}, true},
                              {"jlha", {QStringLiteral("x")}, false},
                              {"jlha", {QStringLiteral("xy")}, false},
                              {"unar", {QStringLiteral("-q"), QStringLiteral("-D")}, false},
                              {"unar",
                               {QStringLiteral("-q"), QStringLiteral("-D"), QStringLiteral("-e"),
                                QStringLiteral("UTF-8")},
                               true}};
        int ran = 0;
        for (const Case& c : cases) {
            const QString program = QStandardPaths::findExecutable(QString::fromUtf8(c.reader));
            if (program.isEmpty()) {
                QVERIFY2(QByteArray(c.reader) != "lhasa", "lhasa is required");
                qInfo("%s not installed: its check is skipped", c.reader);
                continue;
            }
            const QString into = dir + QStringLiteral("/x%1").arg(++ran);
            QVERIFY(QDir().mkpath(into));
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
            p.setProcessEnvironment(env);
            p.setWorkingDirectory(into);
            p.setProcessChannelMode(QProcess::MergedChannels);
            p.start(program, c.args + QStringList{archive});
            QVERIFY(p.waitForFinished(60000));
            QCOMPARE(p.exitCode(), 0);
            const bool exact = QFileInfo::exists(into + u'/' + storedName(path));
            QVERIFY2(
                exact == c.exact,
                qPrintable(QStringLiteral("%1 %2: name %3")
                               .arg(QString::fromUtf8(c.reader), c.args.join(u' '),
                                    exact ? QStringLiteral("exact") : QStringLiteral("changed"))));
            QVERIFY(QDir(into).removeRecursively());
        }
    }

    void spacesCommasAndQuotesInPaths()
    {
        std::vector<ExistingMember> ms;
        ARCHIVE_AND_CHECK(ms, {{QStringLiteral("My Documents/a, b.xls"), "comma"},
                               {QStringLiteral("My Documents/plain.doc"), "plain"},
                               {QStringLiteral("quote\"d/x\"y.doc"), "quotes"},
                               {QStringLiteral("a,b/c d/e.xls"), "both"}});
    }

    // The level-2 header carries the Unix modification time; every reader
    // restores it on extraction.
    // The epoch itself comes back one second on: lhasa reads a time of 0 as
    // none and would give the present.
    void modificationTimeSurvives_data()
    {
        QTest::addColumn<QDateTime>("stamp");
        QTest::addColumn<qint64>("expected");
        const QDateTime when(QDate(2021, 3, 4), QTime(5, 6, 7), QTimeZone::utc());
        QTest::newRow("2021") << when << when.toSecsSinceEpoch();
        QTest::newRow("1970-01-01")
            << QDateTime::fromSecsSinceEpoch(0, QTimeZone::utc()) << qint64{1};
    }

    void modificationTimeSurvives()
    {
        QFETCH(QDateTime, stamp);
        QFETCH(qint64, expected);
        const QString dir = tmp_.path() + QStringLiteral("/mtime") + QTest::currentDataTag();
        const QString path = dir + QStringLiteral("/src/dated.xls");
        QVERIFY(writeFile(path, "dated"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(stamp, QFileDevice::FileModificationTime));
        }
        const QString archive = dir + QStringLiteral("/T.LZH");
        const UnlhaCall call = updateWith(archive, dir + QStringLiteral("/0L.TMP"), {path});
        QCOMPARE(call.code, 0);
        int checked = 0;
        for (const QString& name : readerNames()) {
            const Reader r = reader(name);
            if (r.program.isEmpty()) {
                qInfo("%s not installed: its check is skipped", qPrintable(name));
                continue;
            }
            const QString into = dir + QStringLiteral("/x_") + name;
            const QString err = extract(r, archive, into);
            QVERIFY2(err.isEmpty(), qPrintable(err));
            const QFileInfo out(into + u'/' + storedName(path));
            QVERIFY2(out.exists(), qPrintable(name));
            QCOMPARE(out.lastModified().toSecsSinceEpoch(), expected);
            ++checked;
        }
        if (checked == 0)
            QFAIL("no LZH reader installed (lhasa, bsdtar, 7z, unar)");
    }

    // Same file name in two folders: both members survive, under their folders.
    void sameNameInTwoFoldersKeepsBoth()
    {
        std::vector<ExistingMember> ms;
        ARCHIVE_AND_CHECK(ms, {{QStringLiteral("A/REPORT.XLS"), "from A"},
                               {QStringLiteral("B/REPORT.XLS"), "from B"}});
        QCOMPARE(ms.size(), std::size_t{2});
        QVERIFY(ms[0].path != ms[1].path);
    }
};

QTEST_GUILESS_MAIN(LzhReadersTest)
#include "tst_lzh_readers.moc"
