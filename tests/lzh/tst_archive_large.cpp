// SPDX-License-Identifier: GPL-3.0-or-later
// A member past 2 GiB: a sparse 3 GiB file (zeros) keeps finding matches to
// its end, so it packs as tightly as its first gigabyte, and lhasa checks
// every byte of it against the stored CRC.
#include "archiver_test_support.h"
#include "lzh/lzh_header_reader.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace pelmora;
using namespace pelmora::test;

class ArchiveLargeTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void threeGiBOfZerosPacksTightlyAndChecks()
    {
        const QString lhasa = QStandardPaths::findExecutable(QStringLiteral("lhasa"));
        if (lhasa.isEmpty())
            QFAIL("lhasa is not installed");
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString big = tmp.path() + QStringLiteral("/big.bin");
        QFile f(big);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const qint64 size = qint64{3} << 30;
        if (!f.resize(size))
            QSKIP("this file system cannot hold a sparse 3 GiB file");
        f.close();

        const QString archive = tmp.path() + QStringLiteral("/BIG.LZH");
        const UnlhaCall c = updateWith(archive, tmp.path() + QStringLiteral("/0L.TMP"), {big});
        QVERIFY2(c.code == 0, qPrintable(c.report));
        QFile a(archive);
        QVERIFY(a.open(QIODevice::ReadOnly));
        std::string why;
        const auto members = read_members(a, why);
        QVERIFY2(members.has_value(), why.c_str());
        QCOMPARE(members->size(), std::size_t{1});
        QCOMPARE(members->front().originalSize, std::uint32_t(size));
        // 4 GiB - 1 of zeros packs to under 2 KB; positions that stopped
        // matching past 2 GiB used to make 3 GiB well over 100 MB.
        QVERIFY2(members->front().dataSize < 100'000,
                 qPrintable(QString::number(members->front().dataSize)));

        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(lhasa, {QStringLiteral("tq"), archive});
        QVERIFY(p.waitForFinished(400000));
        QVERIFY2(p.exitCode() == 0, p.readAll().constData());
    }
};

QTEST_GUILESS_MAIN(ArchiveLargeTest)
#include "tst_archive_large.moc"
