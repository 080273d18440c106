// SPDX-License-Identifier: GPL-3.0-or-later
// The "u" command on existing archives, and failures that must leave an
// existing archive exactly as it was.
#include "archiver_test_support.h"
#include "lzh/lzh_header_reader.h"
#include "lzh/unlha.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <cstring>

using namespace pelmora;
using namespace pelmora::test;

namespace {

QByteArray memberBytes(const QString& archive, const ExistingMember& m)
{
    return readFile(archive).mid(static_cast<qsizetype>(m.offset),
                                 static_cast<qsizetype>(m.spanSize));
}

const ExistingMember* byName(const std::vector<ExistingMember>& ms, const QString& path)
{
    for (const ExistingMember& m : ms)
        if (QString::fromStdString(m.path) == storedName(path))
            return &m;
    return nullptr;
}

} // namespace

class ArchiveUpdateTest final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir tmp_;
    QString dir_; // fresh per test

    QString src(const QString& rel) const { return dir_ + QStringLiteral("/src/") + rel; }
    QString archive() const { return dir_ + QStringLiteral("/arc/BACKUP.LZH"); }
    QString list() const { return dir_ + QStringLiteral("/0A3F.TMP"); }

    // Every failure must leave the archive folder as it was: same archive
    // bytes, no temporary file beside it.
    void expectUntouched(const QByteArray& before)
    {
        QCOMPARE(readFile(archive()), before);
        QCOMPARE(strayFiles(QFileInfo(archive()).absolutePath(), {QStringLiteral("BACKUP.LZH")}),
                 QStringList());
    }

    QByteArray makeExisting()
    {
        writeFile(src(QStringLiteral("keep.xls")), "kept member " + randomBytes(5000, 1));
        writeFile(src(QStringLiteral("old.doc")), "old version");
        const UnlhaCall c = updateWith(
            archive(), list(), {src(QStringLiteral("keep.xls")), src(QStringLiteral("old.doc"))});
        if (c.code != 0)
            qWarning("setup failed: %s", qPrintable(c.report));
        return readFile(archive());
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(tmp_.isValid()); }

    void init()
    {
        static int n = 0;
        dir_ = tmp_.path() + QStringLiteral("/t%1").arg(++n);
        QVERIFY(QDir().mkpath(dir_ + QStringLiteral("/arc")));
    }

    void createsArchiveWhenAbsent()
    {
        writeFile(src(QStringLiteral("a.xls")), "a");
        QVERIFY(!QFile::exists(archive()));
        const UnlhaCall c = updateWith(archive(), list(), {src(QStringLiteral("a.xls"))});
        QCOMPARE(c.code, 0);
        QCOMPARE(membersOf(archive()).size(), std::size_t{1});
    }

    void replacesSameNameKeepsOthersByteForByte()
    {
        const QByteArray before = makeExisting();
        QVERIFY(!before.isEmpty());
        const auto old = membersOf(archive());
        const QByteArray keptBefore =
            memberBytes(archive(), *byName(old, src(QStringLiteral("keep.xls"))));

        writeFile(src(QStringLiteral("old.doc")), "new version, longer than before");
        writeFile(src(QStringLiteral("added.xls")), "added");
        const UnlhaCall c = updateWith(
            archive(), list(), {src(QStringLiteral("old.doc")), src(QStringLiteral("added.xls"))});
        QCOMPARE(c.code, 0);
        QVERIFY2(c.report.contains(QStringLiteral("置換 1")), qPrintable(c.report));

        const auto now = membersOf(archive());
        QCOMPARE(now.size(), std::size_t{3});
        // Existing order kept, the replaced member in its old place, the new one last.
        QCOMPARE(QString::fromStdString(now[0].path), storedName(src(QStringLiteral("keep.xls"))));
        QCOMPARE(QString::fromStdString(now[1].path), storedName(src(QStringLiteral("old.doc"))));
        QCOMPARE(QString::fromStdString(now[2].path), storedName(src(QStringLiteral("added.xls"))));
        QCOMPARE(memberBytes(archive(), now[0]), keptBefore);

        QStringList checked;
        const QString err = checkWithReaders(
            archive(),
            {{storedName(src(QStringLiteral("keep.xls"))),
              readFile(src(QStringLiteral("keep.xls")))},
             {storedName(src(QStringLiteral("old.doc"))), "new version, longer than before"},
             {storedName(src(QStringLiteral("added.xls"))), "added"}},
            dir_ + QStringLiteral("/x"), checked);
        QVERIFY2(err.isEmpty(), qPrintable(err));
    }

    // Archives from another writer: jlha makes level-0, -1 and -2 headers.
    void updatesArchivesOfEveryHeaderLevel_data()
    {
        QTest::addColumn<QString>("level");
        QTest::newRow("level 0") << QStringLiteral("0");
        QTest::newRow("level 1") << QStringLiteral("1");
        QTest::newRow("level 2") << QStringLiteral("2");
    }
    void updatesArchivesOfEveryHeaderLevel()
    {
        QFETCH(QString, level);
        const QString jlha = QStandardPaths::findExecutable(QStringLiteral("jlha"));
        if (jlha.isEmpty())
            QFAIL("jlha (jlha-utils) not installed: no foreign archives to update");
        writeFile(src(QStringLiteral("one.txt")), QByteArray(20000, 'q') + "one");
        writeFile(src(QStringLiteral("two.txt")), "two, first version");
        QProcess p;
        p.setWorkingDirectory(dir_ + QStringLiteral("/src"));
        p.start(jlha, {QStringLiteral("c") + level + QStringLiteral("o5"), archive(),
                       QStringLiteral("one.txt"), QStringLiteral("two.txt")});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        const auto foreign = membersOf(archive());
        QCOMPARE(foreign.size(), std::size_t{2});
        QCOMPARE(foreign[0].level, level.toInt());
        const QByteArray oneBefore = memberBytes(archive(), foreign[0]);

        // jlha stores names relative to its working folder; a base folder
        // makes ours match so that two.txt is replaced.
        writeFile(src(QStringLiteral("two.txt")), "two, second version");
        QVERIFY(writeFile(list(), listFileText({src(QStringLiteral("two.txt"))})));
        const QByteArray cmd = "u -a1 -r2 -l1 -jp1 -o2 " + archive().toUtf8() + " " +
                               (dir_ + QStringLiteral("/src/")).toUtf8() + " @" + list().toUtf8() +
                               " ";
        const UnlhaCall c = callUnlha(cmd);
        QCOMPARE(c.code, 0);
        const auto now = membersOf(archive());
        QCOMPARE(now.size(), std::size_t{2});
        QCOMPARE(memberBytes(archive(), now[0]), oneBefore);
        QCOMPARE(now[1].level, 2);

        QStringList checked;
        const QString err =
            checkWithReaders(archive(),
                             {{QStringLiteral("one.txt"), QByteArray(20000, 'q') + "one"},
                              {QStringLiteral("two.txt"), "two, second version"}},
                             dir_ + QStringLiteral("/x"), checked);
        QVERIFY2(err.isEmpty(), qPrintable(err));
    }

    void missingFileInListFailsAndLeavesArchive()
    {
        const QByteArray before = makeExisting();
        writeFile(src(QStringLiteral("new.xls")), "new");
        const UnlhaCall c = updateWith(
            archive(), list(), {src(QStringLiteral("new.xls")), src(QStringLiteral("gone.xls"))});
        QCOMPARE(c.code, static_cast<int>(UnlhaResult::SourceMissing));
        QVERIFY2(c.report.contains(QStringLiteral("gone.xls")), qPrintable(c.report));
        expectUntouched(before);
    }

    void malformedListLineFailsAndLeavesArchive()
    {
        const QByteArray before = makeExisting();
        writeFile(src(QStringLiteral("a b.xls")), "spaced");
        // The space needs quotes; a line without them is not one our caller writes.
        writeFile(list(), src(QStringLiteral("a b.xls")).toUtf8() + "\r\n\r\n");
        const UnlhaCall c = callUnlha(updateCommandLine(archive(), list()));
        QCOMPARE(c.code, static_cast<int>(UnlhaResult::ListFileMalformed));
        expectUntouched(before);
    }

    void unreadableListFileFailsAndLeavesArchive_data()
    {
        QTest::addColumn<bool>("asFolder");
        QTest::newRow("absent") << false;
        QTest::newRow("a folder") << true;
    }
    void unreadableListFileFailsAndLeavesArchive()
    {
        QFETCH(bool, asFolder);
        const QByteArray before = makeExisting();
        QVERIFY(QFile::remove(list()));
        if (asFolder)
            QVERIFY(QDir().mkpath(list()));
        const UnlhaCall c = callUnlha(updateCommandLine(archive(), list()));
        QCOMPARE(c.code, static_cast<int>(UnlhaResult::ListFileUnreadable));
        expectUntouched(before);
    }

    // Level-2 sizes are 32-bit; a sparse 4 GiB file costs no disk space.
    void fileOf4GiBIsRefused()
    {
        const QByteArray before = makeExisting();
        QFile big(src(QStringLiteral("big.bin")));
        QVERIFY(big.open(QIODevice::WriteOnly));
        if (!big.resize(qint64{1} << 32))
            QSKIP("this file system cannot hold a sparse 4 GiB file");
        big.close();
        const UnlhaCall c = updateWith(archive(), list(), {src(QStringLiteral("big.bin"))});
        QCOMPARE(c.code, static_cast<int>(UnlhaResult::SourceTooLarge));
        expectUntouched(before);
        QFile::remove(big.fileName());
    }

    void emptyListIsRefused()
    {
        const QByteArray before = makeExisting();
        const UnlhaCall c = updateWith(archive(), list(), {});
        QCOMPARE(c.code, static_cast<int>(UnlhaResult::NothingToAdd));
        expectUntouched(before);
    }

    void emptyListCreatesNoArchive()
    {
        const UnlhaCall c = updateWith(archive(), list(), {});
        QCOMPARE(c.code, static_cast<int>(UnlhaResult::NothingToAdd));
        QVERIFY(!QFile::exists(archive()));
    }

    // Offset and new value (-1: bit 6 flipped) of one byte of the first
    // (level-2) header.
    void damagedArchiveIsNotOverwritten_data()
    {
        QTest::addColumn<int>("at");
        QTest::addColumn<int>("value");
        QTest::newRow("method byte") << 5 << -1;
        QTest::newRow("first extended-header size 0") << 24 << 0;
        QTest::newRow("CRC extension of another type") << 26 << 0x3F;
    }

    void damagedArchiveIsNotOverwritten()
    {
        QFETCH(int, at);
        QFETCH(int, value);
        QByteArray before = makeExisting();
        QCOMPARE(before[24 + 2], '\0'); // the header CRC comes first
        before[at] = static_cast<char>(value < 0 ? before[at] ^ 0x40 : value);
        if (at == 24)
            before[25] = 0;
        writeFile(archive(), before);
        writeFile(src(QStringLiteral("b.xls")), "b");
        const UnlhaCall c = updateWith(archive(), list(), {src(QStringLiteral("b.xls"))});
        QCOMPARE(c.code, static_cast<int>(UnlhaResult::ArchiveDamaged));
        expectUntouched(before);
    }

    void truncatedArchiveIsNotOverwritten()
    {
        const QByteArray full = makeExisting();
        const QByteArray before = full.left(full.size() - 40);
        writeFile(archive(), before);
        writeFile(src(QStringLiteral("b.xls")), "b");
        const UnlhaCall c = updateWith(archive(), list(), {src(QStringLiteral("b.xls"))});
        QCOMPARE(c.code, static_cast<int>(UnlhaResult::ArchiveDamaged));
        expectUntouched(before);
    }

    void archiveInMissingFolderFails()
    {
        writeFile(src(QStringLiteral("a.xls")), "a");
        const QString target = dir_ + QStringLiteral("/no such folder/X.LZH");
        const UnlhaCall c = updateWith(target, list(), {src(QStringLiteral("a.xls"))});
        QCOMPARE(c.code, static_cast<int>(UnlhaResult::ArchiveWriteFailed));
        QVERIFY(!QFileInfo::exists(QFileInfo(target).absolutePath()));
    }

    void onlyUpdateIsSupported()
    {
        const QByteArray before = makeExisting();
        writeFile(list(), listFileText({src(QStringLiteral("keep.xls"))}));
        QByteArray cmd = updateCommandLine(archive(), list());
        cmd[0] = 'd';
        const UnlhaCall c = callUnlha(cmd);
        QCOMPARE(c.code, static_cast<int>(UnlhaResult::UnsupportedCommand));
        expectUntouched(before);
    }

    void fileListedTwiceIsStoredOnce()
    {
        writeFile(src(QStringLiteral("twice.xls")), "twice");
        const UnlhaCall c =
            updateWith(archive(), list(),
                       {src(QStringLiteral("twice.xls")), src(QStringLiteral("twice.xls"))});
        QCOMPARE(c.code, 0);
        QCOMPARE(membersOf(archive()).size(), std::size_t{1});
    }

    void toolPassesTheLineAndReturnsTheCode()
    {
#ifndef UNLHA_TOOL
        QSKIP("the unlha tool is not part of this build");
#else
        writeFile(src(QStringLiteral("t.xls")), "tool");
        writeFile(list(), listFileText({src(QStringLiteral("t.xls"))}));
        QProcess ok;
        ok.start(QStringLiteral(UNLHA_TOOL),
                 {QString::fromUtf8(updateCommandLine(archive(), list()))});
        QVERIFY(ok.waitForFinished(30000));
        QCOMPARE(ok.exitCode(), 0);
        QVERIFY(QString::fromUtf8(ok.readAllStandardOutput()).startsWith(QStringLiteral("正常")));
        QCOMPARE(membersOf(archive()).size(), std::size_t{1});

        QProcess bad;
        bad.start(QStringLiteral(UNLHA_TOOL), {QStringLiteral("u -a1 ")});
        QVERIFY(bad.waitForFinished(30000));
        QCOMPARE(bad.exitCode(), static_cast<int>(UnlhaResult::BadCommandLine));
        QVERIFY(!bad.readAllStandardOutput().trimmed().isEmpty());
#endif
    }

    void reportIsJapaneseAndFitsTheBuffer()
    {
        writeFile(src(QStringLiteral("a.xls")), "a");
        writeFile(list(), listFileText({src(QStringLiteral("a.xls"))}));
        const QByteArray cmd = updateCommandLine(archive(), list());
        std::array<char, 32> buf;
        buf.fill('#');
        const int rc = Unlha(0, cmd.constData(), buf.data(), 16);
        QCOMPARE(rc, 0);
        const auto len = strnlen(buf.data(), 16);
        QVERIFY2(len < 16, "report must be NUL-terminated inside the buffer");
        QVERIFY(len > 0);
        for (std::size_t i = 16; i < buf.size(); ++i)
            QCOMPARE(buf[i], '#');
        // Cut on a character boundary: the prefix decodes as UTF-8.
        const QString text = QString::fromUtf8(buf.data(), static_cast<qsizetype>(len));
        QVERIFY(!text.contains(QChar::ReplacementCharacter));
        QVERIFY(text.startsWith(QStringLiteral("正常")));

        const UnlhaCall full = callUnlha(cmd);
        QCOMPARE(full.code, 0);
        QVERIFY(full.report.startsWith(QStringLiteral("正常に終了しました")));
        QCOMPARE(Unlha(0, cmd.constData(), nullptr, 0), 0);
    }
};

QTEST_GUILESS_MAIN(ArchiveUpdateTest)
#include "tst_archive_update.moc"
