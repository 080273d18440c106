// SPDX-License-Identifier: GPL-3.0-or-later
// Members compressed on worker threads: the archive comes out byte for byte
// as a single thread writes it, and a failure part way through is reported
// for the member it happened on and leaves the old archive as it was.
#include "../support/unprivileged.h"
#include "archiver_test_support.h"
#include "lzh/archive_update.h"
#include "lzh/source_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/mount.h>
#include <sys/stat.h>

using namespace pelmora;
using namespace pelmora::test;

class ArchiveParallelTest final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QString m_dir; // fresh per test

    QString src(const QString& rel) const { return m_dir + QStringLiteral("/src/") + rel; }

    // Files of every kind the writer treats differently: small ones for the
    // searched parse, one past that bound, incompressible ones (stored), empty
    // ones, and one past the pool's bound that the writing thread compresses
    // itself while the workers go on with the files after it.
    std::vector<SourceFile> makeCorpus()
    {
        QStringList paths;
        auto add = [&](const QString& rel, const QByteArray& bytes) {
            writeFile(src(rel), bytes);
            paths << src(rel);
        };
        QByteArray sheet;
        for (int i = 0; sheet.size() < 300000; ++i)
            sheet += "No." + QByteArray::number(i * 7919 % 4000) + ",名古屋営業所,請求書\r\n";
        for (int i = 0; i < 24; ++i)
            add(QStringLiteral("d%1/small%2.csv").arg(i % 3).arg(i),
                sheet.mid(i * 997, 200 + i * 613));
        add(QStringLiteral("sheet.csv"), sheet);
        add(QStringLiteral("noise.bin"), randomBytes(200000, 5));
        add(QStringLiteral("empty.xls"), {});
        QByteArray big = sheet.repeated(30); // 9 MB, over the pool's bound
        for (qsizetype i = 0; i < big.size(); i += 4099)
            big[i] = static_cast<char>(i >> 12);
        add(QStringLiteral("big.csv"), big);
        for (int i = 0; i < 12; ++i)
            add(QStringLiteral("after/f%1.txt").arg(i),
                randomBytes(50 + i * 40, static_cast<std::uint64_t>(i)) + sheet.left(i * 3000));
        add(QStringLiteral("last-noise.bin"), randomBytes(3000, 9));

        std::vector<SourceFile> files;
        for (const QString& p : paths) {
            const QByteArray bytes = QFile::encodeName(p);
            files.push_back({bytes, stored_path_for(bytes, QByteArray())});
        }
        return files;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        // The unprivileged child must reach the files below it.
        QCOMPARE(::chmod(QFile::encodeName(m_tmp.path()).constData(), 0755), 0);
    }

    void init()
    {
        static int n = 0;
        m_dir = m_tmp.path() + QStringLiteral("/t%1").arg(++n);
        QVERIFY(QDir().mkpath(m_dir + QStringLiteral("/arc")));
    }

    void threadsGiveTheSameBytes()
    {
        const std::vector<SourceFile> files = makeCorpus();
        const QString one = m_dir + QStringLiteral("/arc/ONE.LZH");
        const UpdateOutcome single = update_archive(QFile::encodeName(one), files, 1);
        QVERIFY2(single.result == UnlhaResult::Ok, qPrintable(single.detail));
        QCOMPARE(single.added, static_cast<int>(files.size()));
        const QByteArray expected = readFile(one);
        for (unsigned threads : {2u, 3u, 8u}) {
            const QString many = m_dir + QStringLiteral("/arc/MANY%1.LZH").arg(threads);
            const UpdateOutcome o = update_archive(QFile::encodeName(many), files, threads);
            QVERIFY2(o.result == UnlhaResult::Ok, qPrintable(o.detail));
            QCOMPARE(o.added, single.added);
            QVERIFY2(readFile(many) == expected,
                     qPrintable(QStringLiteral("%1 threads").arg(threads)));
        }
        std::map<QString, QByteArray> content;
        for (const SourceFile& f : files)
            content[QString::fromStdString(f.storedPath)] = readFile(QFile::decodeName(f.path));
        QStringList checked;
        const QString err = checkWithReaders(m_dir + QStringLiteral("/arc/MANY8.LZH"), content,
                                             m_dir + QStringLiteral("/x"), checked);
        QVERIFY2(err.isEmpty(), qPrintable(err));
    }

    // One large member alone: its segments are parsed on the threads.
    void threadsGiveTheSameBytesForOneLargeMember()
    {
        std::vector<SourceFile> files = makeCorpus();
        const auto big = std::find_if(files.begin(), files.end(), [](const SourceFile& f) {
            return f.storedPath.ends_with("big.csv");
        });
        QVERIFY(big != files.end());
        const std::vector<SourceFile> one{*big};
        QByteArray expected;
        for (unsigned threads : {1u, 2u, 4u}) {
            const QString arc = m_dir + QStringLiteral("/arc/BIG%1.LZH").arg(threads);
            const UpdateOutcome o = update_archive(QFile::encodeName(arc), one, threads);
            QVERIFY2(o.result == UnlhaResult::Ok, qPrintable(o.detail));
            if (threads == 1)
                expected = readFile(arc);
            else
                QVERIFY2(readFile(arc) == expected,
                         qPrintable(QStringLiteral("%1 threads").arg(threads)));
        }
        QStringList checked;
        const QString err = checkWithReaders(
            m_dir + QStringLiteral("/arc/BIG4.LZH"),
            {{QString::fromStdString(big->storedPath), readFile(QFile::decodeName(big->path))}},
            m_dir + QStringLiteral("/x"), checked);
        QVERIFY2(err.isEmpty(), qPrintable(err));
    }

    // Replacing members of an existing archive in place, between kept ones.
    void threadsGiveTheSameBytesOnUpdate()
    {
        std::vector<SourceFile> files = makeCorpus();
        const std::vector<SourceFile> first(files.begin(), files.begin() + 20);
        const QString base = m_dir + QStringLiteral("/arc/BASE.LZH");
        QCOMPARE(update_archive(QFile::encodeName(base), first, 1).result, UnlhaResult::Ok);
        // Every third old file changes; all files go in again.
        for (std::size_t i = 0; i < 20; i += 3)
            writeFile(QFile::decodeName(files[i].path), "changed " + QByteArray::number(i));
        QByteArray expected;
        for (unsigned threads : {1u, 2u, 4u}) {
            const QString arc = m_dir + QStringLiteral("/arc/U%1.LZH").arg(threads);
            QVERIFY(QFile::copy(base, arc));
            const UpdateOutcome o = update_archive(QFile::encodeName(arc), files, threads);
            QVERIFY2(o.result == UnlhaResult::Ok, qPrintable(o.detail));
            QCOMPARE(o.replaced, 20);
            QCOMPARE(o.added, static_cast<int>(files.size()) - 20);
            if (threads == 1)
                expected = readFile(arc);
            else
                QVERIFY2(readFile(arc) == expected,
                         qPrintable(QStringLiteral("%1 threads").arg(threads)));
        }
    }

    // A member that cannot be read, among many, as an ordinary user (root
    // reads it anyway): the report names it, whatever the threads, and the
    // archive and its folder are as they were.
    void unreadableMemberFailsHonestly()
    {
        std::vector<SourceFile> files = makeCorpus();
        const QString arc = m_dir + QStringLiteral("/arc/KEEP.LZH");
        const std::vector<SourceFile> first(files.begin(), files.begin() + 5);
        QCOMPARE(update_archive(QFile::encodeName(arc), first, 1).result, UnlhaResult::Ok);
        const QByteArray before = readFile(arc);
        const SourceFile& locked = files[17];
        QCOMPARE(::chmod(locked.path.constData(), 0), 0);
        QVERIFY(give_to_nobody(QFile::encodeName(m_dir + QStringLiteral("/arc"))));
        QVERIFY(give_to_nobody(QFile::encodeName(arc)));
        const QString name = QFile::decodeName(locked.path).section(u'/', -1);
        for (unsigned threads : {1u, 2u, 4u}) {
            const int rc = run_unprivileged([&] {
                const UpdateOutcome o = update_archive(QFile::encodeName(arc), files, threads);
                if (o.result != UnlhaResult::SourceUnreadable)
                    return 1;
                if (!o.detail.contains(name))
                    return 2;
                if (readFile(arc) != before)
                    return 3;
                if (!strayFiles(m_dir + QStringLiteral("/arc"), {QStringLiteral("KEEP.LZH")})
                         .isEmpty())
                    return 4;
                return 0;
            });
            QVERIFY2(rc == 0,
                     qPrintable(QStringLiteral("%1 threads: check %2").arg(threads).arg(rc)));
        }
    }

    // The disk fills up while pooled members are written: the report says so
    // and the archive already there is left as it was.
    void fullDiskWithThreadsKeepsArchive()
    {
        const QString mnt = m_dir + QStringLiteral("/small");
        QVERIFY(QDir().mkpath(mnt));
        if (::mount("tmpfs", QFile::encodeName(mnt).constData(), "tmpfs", 0, "size=256k") != 0)
            QSKIP("cannot mount a small tmpfs here (needs root)");
        struct Unmount
        {
            QByteArray at;
            ~Unmount() { ::umount2(at.constData(), MNT_DETACH); }
        } unmount{QFile::encodeName(mnt)};
        const QString arc = mnt + QStringLiteral("/FULL.LZH");
        writeFile(src(QStringLiteral("first.xls")), randomBytes(20000, 1));
        const QByteArray first = QFile::encodeName(src(QStringLiteral("first.xls")));
        QCOMPARE(
            update_archive(QFile::encodeName(arc), {{first, stored_path_for(first, {})}}, 1).result,
            UnlhaResult::Ok);
        const QByteArray before = readFile(arc);
        std::vector<SourceFile> files;
        for (int i = 0; i < 16; ++i) { // incompressible, 400 KB in all
            const QString p = src(QStringLiteral("n%1.bin").arg(i));
            writeFile(p, randomBytes(25000, static_cast<std::uint64_t>(i) + 10));
            files.push_back({QFile::encodeName(p), stored_path_for(QFile::encodeName(p), {})});
        }
        const UpdateOutcome o = update_archive(QFile::encodeName(arc), files, 4);
        QCOMPARE(o.result, UnlhaResult::ArchiveWriteFailed);
        QVERIFY2(o.detail.contains(QStringLiteral("ディスクの空き容量が足りません")),
                 qPrintable(o.detail));
        QCOMPARE(readFile(arc), before);
        QCOMPARE(strayFiles(mnt, {QStringLiteral("FULL.LZH")}), QStringList());
    }
};

QTEST_GUILESS_MAIN(ArchiveParallelTest)
#include "tst_archive_parallel.moc"
