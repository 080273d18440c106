// SPDX-License-Identifier: GPL-3.0-or-later
// Paths carried in text must come back to the exact bytes the file system gave.
#include "base/native_path.h"

#include <QDir>
#include <QTest>

using namespace pelmora::native_path;

class TstNativePath final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void round_trips_every_kind_of_name_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << QByteArray("/home/a/b.xls");
        QTest::newRow("utf8 japanese") << QByteArray("/home/請求書_000046.xls");
        QTest::newRow("latin1 byte") << QByteArray("/tmp/caf\xe9.xls");
        QTest::newRow("shift_jis") << QByteArray("/tmp/\x90\xbf\x8b\x81\x8f\x91.xls");
        QTest::newRow("encoded surrogate") << QByteArray("/tmp/\xed\xb2\x80.xls");
        QTest::newRow("overlong slash") << QByteArray("/tmp/\xc0\xaf.xls");
        QTest::newRow("truncated sequence") << QByteArray("/tmp/\xe8\xab");
        QTest::newRow("four byte") << QByteArray("/tmp/\xf0\x9f\x98\x80.doc");
        QTest::newRow("beyond unicode") << QByteArray("/tmp/\xf4\x90\x80\x80");
        QTest::newRow("controls") << QByteArray("/tmp/a\nb\tc%41\",.xls");
    }
    void round_trips_every_kind_of_name()
    {
        QFETCH(QByteArray, bytes);
        QCOMPARE(to_native(from_native(bytes)), bytes);
    }

    void a_stray_byte_never_decodes_like_its_lossy_twin()
    {
        const QString raw = from_native(QByteArray("caf\xe9.xls"));
        const QString twin = QString::fromUtf8("caf\xef\xbf\xbd.xls");
        QVERIFY(raw != twin);
        QVERIFY(has_raw_bytes(raw));
        QVERIFY(!has_raw_bytes(twin));
        QCOMPARE(to_native(twin), QByteArray("caf\xef\xbf\xbd.xls"));
    }

    void absolute_form_keeps_bytes_and_adds_the_current_folder()
    {
        const QByteArray raw("/tmp/caf\xe9.xls");
        QCOMPARE(to_absolute_native(from_native(raw)), raw);
        QCOMPARE(to_absolute_native(from_native(QByteArray("sub/caf\xe9.xls"))),
                 QDir::currentPath().toUtf8() + "/sub/caf\xe9.xls");
    }

    void valid_utf8_is_plain_text()
    {
        const QByteArray bytes("/home/請求書.xls");
        QCOMPARE(from_native(bytes), QString::fromUtf8(bytes));
    }

    void readable_decodes_shift_jis_parts_and_marks_stray_bytes()
    {
        // "請求書" in Shift_JIS below a UTF-8 folder name.
        const QString sjis = from_native(QByteArray("/home/資料/\x90\xbf\x8b\x81\x8f\x91.xls"));
        QCOMPARE(readable(sjis), QString::fromUtf8("/home/資料/請求書.xls"));
        const QString stray = from_native(QByteArray("/tmp/caf\xe9\xff.xls"));
        QCOMPARE(readable(stray), QString::fromUtf8("/tmp/caf\xef\xbf\xbd\xef\xbf\xbd.xls"));
    }
};

QTEST_GUILESS_MAIN(TstNativePath)
#include "tst_native_path.moc"
