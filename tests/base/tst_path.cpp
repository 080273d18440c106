// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of a path are taken from its bytes: a Shift_JIS name splits, cleans and compares
// exactly like an ASCII one, and reads as Japanese.
#include "base/path.h"

#include <QTest>

using pelmora::Path;

namespace {
// 資料 and 表 in Shift_JIS; 表 ends with 0x5C, the byte of a backslash.
#define SHIRYOU "\x8e\x91\x97\xbf"
#define HYOU "\x95\x5c"
} // namespace

class TstPath final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parts_come_from_the_bytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("suffix");
        QTest::addColumn<QString>("readable");
        QTest::addColumn<QByteArray>("with_separator");
        QTest::newRow("shift_jis file")
            << QByteArray("/home/a/" SHIRYOU ".xls") << QByteArray("/home/a")
            << QByteArray(SHIRYOU ".xls") << QByteArray("xls") << QStringLiteral("/home/a/資料.xls")
            << QByteArray("/home/a/" SHIRYOU ".xls/");
        QTest::newRow("shift_jis folder, separator at the end")
            << QByteArray("/mnt/" HYOU "//") << QByteArray("/mnt") << QByteArray(HYOU)
            << QByteArray() << QStringLiteral("/mnt/表//") << QByteArray("/mnt/" HYOU "/");
        QTest::newRow("shift_jis suffix")
            << QByteArray("/x/" SHIRYOU "/" HYOU "." SHIRYOU) << QByteArray("/x/" SHIRYOU)
            << QByteArray(HYOU "." SHIRYOU) << QByteArray(SHIRYOU)
            << QStringLiteral("/x/資料/表.資料")
            << QByteArray("/x/" SHIRYOU "/" HYOU "." SHIRYOU "/");
        QTest::newRow("in the root")
            << QByteArray("/a.b.doc") << QByteArray("/") << QByteArray("a.b.doc")
            << QByteArray("doc") << QStringLiteral("/a.b.doc") << QByteArray("/a.b.doc/");
        QTest::newRow("the root") << QByteArray("/") << QByteArray("/") << QByteArray()
                                  << QByteArray() << QStringLiteral("/") << QByteArray("/");
        QTest::newRow("hidden name")
            << QByteArray("/h/.profile") << QByteArray("/h") << QByteArray(".profile")
            << QByteArray() << QStringLiteral("/h/.profile") << QByteArray("/h/.profile/");
        QTest::newRow("bare shift_jis name")
            << QByteArray(SHIRYOU) << QByteArray() << QByteArray(SHIRYOU) << QByteArray()
            << QStringLiteral("資料") << QByteArray(SHIRYOU "/");
        QTest::newRow("empty") << QByteArray() << QByteArray() << QByteArray() << QByteArray()
                               << QString() << QByteArray();
    }
    void parts_come_from_the_bytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, folder);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, suffix);
        QFETCH(QString, readable);
        QFETCH(QByteArray, with_separator);
        const Path p = Path::from_bytes(bytes);
        QCOMPARE(p.bytes(), bytes);
        QCOMPARE(p.folder().bytes(), folder);
        QCOMPARE(Path(p.name()).bytes(), name);
        QCOMPARE(Path(p.suffix()).bytes(), suffix);
        QCOMPARE(p.readable(), readable);
        QCOMPARE(p.with_separator().bytes(), with_separator);
        if (!p.is_empty()) // the folder and the name make the path again
            QCOMPARE(p.folder().child(p.name()).bytes(), p.cleaned().bytes());
    }

    void cleaning_and_containment_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("cleaned");
        QTest::addColumn<QByteArray>("root");
        QTest::addColumn<bool>("within");
        QTest::newRow("shift_jis folder, dots and doubled separators")
            << QByteArray("/mnt//" SHIRYOU "/./sub/../") << QByteArray("/mnt/" SHIRYOU)
            << QByteArray("/mnt/") << true;
        QTest::newRow("the root itself")
            << QByteArray("/mnt/" SHIRYOU "/") << QByteArray("/mnt/" SHIRYOU)
            << QByteArray("/mnt/" SHIRYOU) << true;
        QTest::newRow("a longer name is no child")
            << QByteArray("/mnt/" SHIRYOU) << QByteArray("/mnt/" SHIRYOU)
            << QByteArray("/mnt/\x8e\x91") << false;
        QTest::newRow("climbing out of the root")
            << QByteArray("/mnt/a/../../etc") << QByteArray("/etc") << QByteArray("/mnt") << false;
        QTest::newRow("nothing above /")
            << QByteArray("/../" HYOU) << QByteArray("/" HYOU) << QByteArray("/") << true;
        QTest::newRow("relative climbs stay")
            << QByteArray("a/../../" HYOU) << QByteArray("../" HYOU) << QByteArray("/") << false;
        QTest::newRow("relative to nothing")
            << QByteArray("a/..") << QByteArray(".") << QByteArray() << false;
    }
    void cleaning_and_containment()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, cleaned);
        QFETCH(QByteArray, root);
        QFETCH(bool, within);
        const Path p = Path::from_bytes(bytes);
        QCOMPARE(p.cleaned().bytes(), cleaned);
        QCOMPARE(p.is_within(Path::from_bytes(root)), within);
    }

    void a_child_gets_one_separator()
    {
        for (const char* parent : {"/", "/mnt", "/mnt/", "/mnt//"}) {
            const Path child = Path::from_bytes(parent).child(Path::from_bytes(SHIRYOU).text());
            QCOMPARE(child.bytes(),
                     QByteArray(parent).startsWith("/mnt") ? "/mnt/" SHIRYOU : "/" SHIRYOU);
        }
    }
};

QTEST_GUILESS_MAIN(TstPath)
#include "tst_path.moc"
