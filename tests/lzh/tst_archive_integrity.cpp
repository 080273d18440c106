// SPDX-License-Identifier: GPL-3.0-or-later
// What "u" does with archives it did not just write and with the file system
// around them: damaged archives are refused and left byte for byte, members
// are matched whatever form their names were stored in, the archive keeps its
// permissions and links, a full disk is said as such, and paths are the file
// system's bytes.
#include "archiver_test_support.h"
#include "lzh/crc16.h"
#include "lzh/lzh_header_reader.h"
#include "lzh/unlha.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

// A level-0 member as Windows archivers of the MS-DOS era wrote it: the whole
// path in the header, folders separated by '\', Shift_JIS bytes, no OS id.
QByteArray level0Member(const QByteArray& name, const QByteArray& data)
{
    QByteArray h;
    h += '\0'; // size, below
    h += '\0'; // checksum, below
    h += "-lh0-";
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            h += static_cast<char>(v >> (8 * i));
    };
    put32(static_cast<std::uint32_t>(data.size()));
    put32(static_cast<std::uint32_t>(data.size()));
    put32(0x5A210000); // a DOS date and time
    h += '\x20';
    h += '\0'; // level 0
    h += static_cast<char>(name.size());
    h += name;
    const std::uint16_t crc =
        Crc16::of(std::span(reinterpret_cast<const std::uint8_t*>(data.constData()),
                            static_cast<std::size_t>(data.size())));
    h += static_cast<char>(crc);
    h += static_cast<char>(crc >> 8);
    h[0] = static_cast<char>(h.size() - 2);
    std::uint8_t sum = 0;
    for (qsizetype i = 2; i < h.size(); ++i)
        sum = static_cast<std::uint8_t>(sum + static_cast<std::uint8_t>(h[i]));
    h[1] = static_cast<char>(sum);
    return h + data;
}

QByteArray cp932(const QString& text)
{
    QStringEncoder e("windows-31j");
    return e(text);
}

bool writeRaw(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok =
        ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && ok;
}

} // namespace

class ArchiveIntegrityTest final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QString m_dir; // fresh per test

    QString src(const QString& rel) const { return m_dir + QStringLiteral("/src/") + rel; }
    QString archive() const { return m_dir + QStringLiteral("/arc/BACKUP.LZH"); }
    QString list() const { return m_dir + QStringLiteral("/0A3F.TMP"); }

    // Three members, as a user's archive after a few compressions.
    QByteArray makeThreeMembers()
    {
        QStringList files;
        for (int i = 1; i <= 3; ++i) {
            const QString f = src(QStringLiteral("m%1.xls").arg(i));
            writeFile(f, "member " + QByteArray::number(i) + randomBytes(1200, i) +
                             QByteArray(1500, 'x'));
            files << f;
        }
        const UnlhaCall c = updateWith(archive(), list(), files);
        if (c.code != 0)
            qWarning("setup failed: %s", qPrintable(c.report));
        return readFile(archive());
    }

    UnlhaCall addOne()
    {
        writeFile(src(QStringLiteral("new.xls")), "new");
        return updateWith(archive(), list(), {src(QStringLiteral("new.xls"))});
    }

    UnlhaCall updateWithBase(const QString& base, const QStringList& files)
    {
        writeFile(list(), listFileText(files));
        return callUnlha("u -a1 -r2 -l1 -jp1 -o2 " + archive().toUtf8() + " " + base.toUtf8() +
                         " @" + list().toUtf8() + " ");
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_tmp.isValid()); }

    void init()
    {
        static int n = 0;
        m_dir = m_tmp.path() + QStringLiteral("/t%1").arg(++n);
        QVERIFY(QDir().mkpath(m_dir + QStringLiteral("/arc")));
    }

    // Anything but a clean read to the end mark, with at most that one byte
    // after the last member, is refused and leaves the file as it was.
    void damagedArchivesAreRefusedUnchanged_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("0 byte at the second member's header") << QStringLiteral("zero2");
        QTest::newRow("bytes after the end mark") << QStringLiteral("trailing");
        QTest::newRow("a second end byte") << QStringLiteral("twoEnds");
        QTest::newRow("header CRC wrong") << QStringLiteral("crc");
        QTest::newRow("first byte 0, then the archive") << QStringLiteral("zero1");
        QTest::newRow("first byte 0 of a non-archive") << QStringLiteral("zeroText");
    }
    void damagedArchivesAreRefusedUnchanged()
    {
        QFETCH(QString, damage);
        QByteArray bytes = makeThreeMembers();
        const auto members = membersOf(archive());
        QCOMPARE(members.size(), std::size_t{3});
        if (damage == u"zero2")
            bytes[static_cast<qsizetype>(members[1].offset)] = '\0';
        else if (damage == u"trailing")
            bytes += "left over from something else";
        else if (damage == u"twoEnds")
            bytes += '\0';
        else if (damage == u"crc")
            // The header CRC, right after the first extended header's type.
            bytes[static_cast<qsizetype>(members[2].offset) + 27] ^= 0x01;
        else if (damage == u"zero1")
            bytes[0] = '\0';
        else
            bytes = QByteArray(1, '\0') + "plain text, not an archive\n";
        QVERIFY(writeFile(archive(), bytes));

        const UnlhaCall c = addOne();
        QCOMPARE(c.code, static_cast<int>(UnlhaResult::ArchiveDamaged));
        QVERIFY2(c.report.startsWith(QStringLiteral("書庫が壊れているか")), qPrintable(c.report));
        QCOMPARE(readFile(archive()), bytes);
        QCOMPARE(strayFiles(m_dir + QStringLiteral("/arc"), {QStringLiteral("BACKUP.LZH")}),
                 QStringList());
    }

    // The forms an intact archive may take: a lone end byte is an empty
    // archive, an empty file is nothing yet, and some writers leave out the
    // end mark.
    void cleanArchivesAreUpdated_data()
    {
        QTest::addColumn<QByteArray>("start");
        QTest::addColumn<int>("kept");
        QTest::newRow("one 0 byte") << QByteArray(1, '\0') << 0;
        QTest::newRow("empty file") << QByteArray() << 0;
        QTest::newRow("no end mark") << QByteArray("*") << 3;
    }
    void cleanArchivesAreUpdated()
    {
        QFETCH(QByteArray, start);
        QFETCH(int, kept);
        QByteArray bytes = start;
        if (start == "*") {
            bytes = makeThreeMembers();
            bytes.chop(1);
        }
        QVERIFY(writeFile(archive(), bytes));
        const UnlhaCall c = addOne();
        QVERIFY2(c.code == 0, qPrintable(c.report));
        const auto members = membersOf(archive());
        QCOMPARE(members.size(), std::size_t(kept + 1));
        // Whatever the old archive's ending, the new one ends with the end mark.
        const QByteArray after = readFile(archive());
        QCOMPARE(static_cast<std::uint64_t>(after.size()),
                 members.back().offset + members.back().spanSize + 1);
        QCOMPARE(after.back(), '\0');
    }

    // A Windows-made level-0 archive: Shift_JIS name with '\' between folders
    // (表 and 予 carry 0x5C as their second byte). Updating it with the same
    // file replaces the member instead of adding a second one.
    void shiftJisLevel0MemberIsReplaced()
    {
        const QString rel = QStringLiteral("経理\\予算表.xls");
        QVERIFY(writeFile(archive(), level0Member(cp932(rel), "old") + QByteArray(1, '\0')));
        writeFile(src(QStringLiteral("経理/予算表.xls")), "new contents");
        const UnlhaCall c = updateWithBase(m_dir + QStringLiteral("/src/"),
                                           {src(QStringLiteral("経理/予算表.xls"))});
        QVERIFY2(c.code == 0, qPrintable(c.report));
        QVERIFY2(c.report.contains(QStringLiteral("置換 1")), qPrintable(c.report));
        const auto now = membersOf(archive());
        QCOMPARE(now.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(now[0].path), QStringLiteral("経理/予算表.xls"));
    }

    // A file whose name holds a backslash is one member however often it is
    // compressed again.
    void backslashInNameIsReplacedNotAdded()
    {
        const QString f = src(QStringLiteral("a\\b.xls"));
        for (int round = 0; round < 3; ++round) {
            writeFile(f, "round " + QByteArray::number(round));
            const UnlhaCall c = updateWith(archive(), list(), {f});
            QVERIFY2(c.code == 0, qPrintable(c.report));
        }
        QCOMPARE(membersOf(archive()).size(), std::size_t{1});
    }

    void updateKeepsPermissionsOwnerAndLinks()
    {
        makeThreeMembers();
        const QByteArray link = (m_dir + QStringLiteral("/LINK.LZH")).toUtf8();
        const QByteArray arc = archive().toUtf8();
        QCOMPARE(::link(arc.constData(), link.constData()), 0);
        QCOMPARE(::chmod(arc.constData(), 0444), 0);
        if (::geteuid() == 0)
            QCOMPARE(::chown(arc.constData(), 65534, 65534), 0);
        struct stat before
        {};
        QCOMPARE(::stat(arc.constData(), &before), 0);

        const UnlhaCall c = addOne();
        QVERIFY2(c.code == 0, qPrintable(c.report));
        struct stat after
        {};
        QCOMPARE(::stat(arc.constData(), &after), 0);
        QCOMPARE(after.st_mode & 07777, mode_t{0444});
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
        // The name gets the new archive as a whole, never rewritten in place;
        // the other link keeps the earlier one, as other archivers leave it.
        QVERIFY(after.st_ino != before.st_ino);
        QCOMPARE(after.st_nlink, nlink_t{1});
        QCOMPARE(membersOf(archive()).size(), std::size_t{4});
        QCOMPARE(membersOf(QString::fromUtf8(link)).size(), std::size_t{3});

        // A name that is a symbolic link updates the file it leads to.
        QCOMPARE(::unlink(link.constData()), 0);
        QCOMPARE(::symlink("arc/BACKUP.LZH", link.constData()), 0);
        writeFile(src(QStringLiteral("new3.xls")), "new3");
        QCOMPARE(
            updateWith(QString::fromUtf8(link), list(), {src(QStringLiteral("new3.xls"))}).code, 0);
        struct stat asLink
        {};
        QCOMPARE(::lstat(link.constData(), &asLink), 0);
        QVERIFY(S_ISLNK(asLink.st_mode));
        QCOMPARE(membersOf(archive()).size(), std::size_t{5});
        QCOMPARE(::unlink(link.constData()), 0);

        writeFile(src(QStringLiteral("new2.xls")), "new2");
        QCOMPARE(updateWith(archive(), list(), {src(QStringLiteral("new2.xls"))}).code, 0);
        QCOMPARE(::stat(arc.constData(), &after), 0);
        QCOMPARE(after.st_mode & 07777, mode_t{0444});
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(membersOf(archive()).size(), std::size_t{6});
    }

    void newArchiveFollowsTheUmask()
    {
        const mode_t old = ::umask(027);
        const UnlhaCall c = addOne();
        ::umask(old);
        QCOMPARE(c.code, 0);
        struct stat st
        {};
        QCOMPARE(::stat(archive().toUtf8().constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t{0640});
    }

    // A small file system of its own, filled up: the report says so, and the
    // archive already there is left as it was.
    void fullDiskIsSaidAndArchiveKept()
    {
        const QString mnt = m_dir + QStringLiteral("/small");
        QVERIFY(QDir().mkpath(mnt));
        if (::mount("tmpfs", mnt.toUtf8().constData(), "tmpfs", 0, "size=256k") != 0)
            QSKIP("cannot mount a small tmpfs here (needs root)");
        struct Unmount
        {
            QByteArray at;
            ~Unmount() { ::umount2(at.constData(), MNT_DETACH); }
        } unmount{mnt.toUtf8()};
        const QString arc = mnt + QStringLiteral("/FULL.LZH");
        writeFile(src(QStringLiteral("small.xls")), randomBytes(20000, 7));
        QCOMPARE(updateWith(arc, list(), {src(QStringLiteral("small.xls"))}).code, 0);
        const QByteArray before = readFile(arc);
        // Incompressible and larger than the space left, so the copy fails.
        writeFile(src(QStringLiteral("big.xls")), randomBytes(400000, 8));
        const UnlhaCall c = updateWith(arc, list(), {src(QStringLiteral("big.xls"))});
        QCOMPARE(c.code, static_cast<int>(UnlhaResult::ArchiveWriteFailed));
        QVERIFY2(c.report.contains(QStringLiteral("ディスクの空き容量が足りません")),
                 qPrintable(c.report));
        QCOMPARE(readFile(arc), before);
        QCOMPARE(strayFiles(mnt, {QStringLiteral("FULL.LZH")}), QStringList());
    }

    // A quote followed by a space in the archive's folder: the line still
    // splits into archive, base and list, and the archive is written there.
    void quoteInArchiveFolder()
    {
        const QString folder = m_dir + QStringLiteral("/say \" hi");
        QVERIFY(QDir().mkpath(folder));
        const QString arc = folder + QStringLiteral("/Q.LZH");
        writeFile(src(QStringLiteral("q.xls")), "q");
        const UnlhaCall c = updateWith(arc, list(), {src(QStringLiteral("q.xls"))});
        QVERIFY2(c.code == 0, qPrintable(c.report));
        QCOMPARE(membersOf(arc).size(), std::size_t{1});
    }

    // A Shift_JIS file name on disk beside its lossy UTF-8 twin: the list file
    // names the exact bytes, and exactly that file goes in, its name kept byte
    // for byte and marked as CP932.
    void pathsAreTheFileSystemsBytes()
    {
        const QByteArray folder = (m_dir + QStringLiteral("/src")).toUtf8();
        QVERIFY(QDir().mkpath(QString::fromUtf8(folder)));
        const QByteArray raw = folder + "/" + cp932(QStringLiteral("見積.xls"));
        const QByteArray twin =
            folder + "/" + QString::fromUtf8(cp932(QStringLiteral("見積.xls"))).toUtf8();
        struct Remove
        {
            QByteArray path; // QTemporaryDir cannot remove a name that is not UTF-8
            ~Remove() { ::unlink(path.constData()); }
        } removeRaw{raw};
        QVERIFY(writeRaw(raw, "the real file"));
        QVERIFY(writeRaw(twin, "decoy"));
        QVERIFY(writeFile(list(), raw + "\r\n\r\n"));
        const UnlhaCall c = callUnlha(updateCommandLine(archive(), list()));
        QVERIFY2(c.code == 0, qPrintable(c.report));
        const auto members = membersOf(archive());
        QCOMPARE(members.size(), std::size_t{1});
        QCOMPARE(QByteArray::fromStdString(members[0].storedPath), raw.mid(1));
        QCOMPARE(members[0].codePage, std::optional<std::uint32_t>(932));
        QCOMPARE(QString::fromStdString(members[0].path),
                 QString::fromUtf8(folder.mid(1)) + QStringLiteral("/見積.xls"));
        const QByteArray bytes = readFile(archive());
        QVERIFY(bytes.contains("the real file"));
        QVERIFY(!bytes.contains("decoy"));

        // A missing entry is reported readably, not as mojibake.
        QVERIFY(writeFile(list(), folder + "/" + cp932(QStringLiteral("無い.xls")) + "\r\n\r\n"));
        const UnlhaCall missing = callUnlha(updateCommandLine(archive(), list()));
        QCOMPARE(missing.code, static_cast<int>(UnlhaResult::SourceMissing));
        QVERIFY2(missing.report.contains(QStringLiteral("無い.xls")), qPrintable(missing.report));
    }

    // Names that are neither UTF-8 nor CP932 read back differently in every
    // reader: refused before anything is written, the file named readably.
    void unstorableNamesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("rel");
        QTest::newRow("Latin-1 file name") << QByteArray("caf\xe9.xls");
        QTest::newRow("0xFF in a folder") << QByteArray("a\xff/b.xls");
    }

    void unstorableNamesAreRefused()
    {
        QFETCH(QByteArray, rel);
        const QByteArray path = (m_dir + QStringLiteral("/src/")).toUtf8() + rel;
        const QByteArray folder = path.left(path.lastIndexOf('/'));
        QVERIFY(QDir().mkpath(m_dir + QStringLiteral("/src")));
        QVERIFY(::mkdir(folder.constData(), 0755) == 0 || errno == EEXIST);
        struct Remove
        {
            QByteArray file, folder; // QTemporaryDir cannot remove names that are not UTF-8
            ~Remove()
            {
                ::unlink(file.constData());
                ::rmdir(folder.constData());
            }
        } remove{path, folder};
        QVERIFY(writeRaw(path, "data"));
        QVERIFY(writeFile(list(), path + "\r\n\r\n"));
        const UnlhaCall c = callUnlha(updateCommandLine(archive(), list()));
        QCOMPARE(c.code, static_cast<int>(UnlhaResult::UnstorableName));
        QVERIFY2(c.report.contains(QStringLiteral("b.xls")) ||
                     c.report.contains(QStringLiteral("caf")),
                 qPrintable(c.report));
        QCOMPARE(QDir(m_dir + QStringLiteral("/arc")).entryList(QDir::Files | QDir::Hidden),
                 QStringList{});
    }

    // Random data is stored (-lh0-) after the sampled trial, not grown.
    void incompressibleDataIsStored()
    {
        const QByteArray data = randomBytes(3 << 20, 11);
        writeFile(src(QStringLiteral("noise.bin")), data);
        QCOMPARE(updateWith(archive(), list(), {src(QStringLiteral("noise.bin"))}).code, 0);
        const auto m = membersOf(archive());
        QCOMPARE(m.size(), std::size_t{1});
        QCOMPARE(QByteArray::fromStdString(m[0].method), QByteArray("-lh0-"));
        QCOMPARE(m[0].packedSize, std::uint32_t(data.size()));
        QStringList checked;
        const QString err =
            checkWithReaders(archive(), {{storedName(src(QStringLiteral("noise.bin"))), data}},
                             m_dir + QStringLiteral("/x"), checked);
        QVERIFY2(err.isEmpty(), qPrintable(err));
    }
};

QTEST_GUILESS_MAIN(ArchiveIntegrityTest)
#include "tst_archive_integrity.moc"
