// SPDX-License-Identifier: GPL-3.0-or-later
// How the command line and the list file are read, and which member name a
// file gets: paths are the file system's bytes and must come through intact
// with spaces, commas, quotes, Japanese letters and bytes that are not UTF-8;
// anything our caller could not have written is refused.
#include "archiver_test_support.h"
#include "lzh/command_line.h"
#include "lzh/list_file.h"
#include "lzh/source_files.h"

#include <QTest>

using namespace pelmora;

class ArchiverInputTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commandLineOfOurCaller_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("listFile");
        QTest::newRow("plain") << QStringLiteral("/home/u/ARC/BACKUP.LZH")
                               << QStringLiteral("/tmp/0A3F.TMP");
        QTest::newRow("space in archive")
            << QStringLiteral("/home/u/My Docs/BACK UP.LZH") << QStringLiteral("/tmp/0A3F.TMP");
        QTest::newRow("comma in archive")
            << QStringLiteral("/home/u/a,b/X.LZH") << QStringLiteral("/tmp/0A3F.TMP");
        QTest::newRow("space in list path")
            << QStringLiteral("/home/u/X.LZH") << QStringLiteral("/tmp/my temp/0A3F.TMP");
        QTest::newRow("japanese") << QStringLiteral("/home/u/書庫/報告 書.LZH")
                                  << QStringLiteral("/tmp/一時/0B.TMP");
        QTest::newRow("quote inside")
            << QStringLiteral("/home/u/say \"hi\"x/X.LZH") << QStringLiteral("/tmp/q\"uote/0C.TMP");
        // A quote followed by a space inside a quoted path looks like the end
        // of the token; the split into archive, base and list still wins.
        QTest::newRow("quote then space in archive folder")
            << QStringLiteral("/home/u/a\" b/X.LZH") << QStringLiteral("/tmp/0D.TMP");
        QTest::newRow("quote then space in both")
            << QStringLiteral("/home/u/a\" b/X.LZH") << QStringLiteral("/tmp/c\" d/0E.TMP");
    }
    void commandLineOfOurCaller()
    {
        QFETCH(QString, archive);
        QFETCH(QString, listFile);
        const QByteArray line = test::updateCommandLine(archive, listFile);
        QString why;
        const auto cmd = parse_archiver_command_line(line.toStdString(), why);
        QVERIFY2(cmd.has_value(), qPrintable(why));
        QCOMPARE(cmd->command, QByteArray("u"));
        QCOMPARE(cmd->switches, QList<QByteArray>({"-a1", "-r2", "-l1", "-jp1", "-o2"}));
        QCOMPARE(cmd->archive, archive.toUtf8());
        QCOMPARE(cmd->base, QByteArray()); // the single backslash: no base
        QCOMPARE(cmd->listFiles, QList<QByteArray>({listFile.toUtf8()}));
        QVERIFY(cmd->files.isEmpty());
    }

    void listPathQuoteComesBeforeTheAt()
    {
        QString why;
        const auto cmd = parse_archiver_command_line(
            "u -a1 -r2 -l1 -jp1 -o2 X.LZH \\ \"@/tmp/a b/0.TMP\" ", why);
        QVERIFY2(cmd.has_value(), qPrintable(why));
        QCOMPARE(cmd->listFiles, QList<QByteArray>({"/tmp/a b/0.TMP"}));
    }

    void baseFolderIsKept()
    {
        QString why;
        const auto cmd =
            parse_archiver_command_line("u -a1 -r2 -l1 -jp1 -o2 X.LZH /home/u/\\ @l ", why);
        QVERIFY2(cmd.has_value(), qPrintable(why));
        QCOMPARE(cmd->base, QByteArray("/home/u/"));
    }

    void filesNamedOnTheLineAreTaken()
    {
        QString why;
        const auto cmd = parse_archiver_command_line(
            "u -a1 -r2 -l1 -jp1 -o2 X.LZH \\ /d/a.xls \"/d/b c.xls\" @/tmp/l ", why);
        QVERIFY2(cmd.has_value(), qPrintable(why));
        QCOMPARE(cmd->files, QList<QByteArray>({"/d/a.xls", "/d/b c.xls"}));
        QCOMPARE(cmd->listFiles, QList<QByteArray>({"/tmp/l"}));
    }

    // Names copied from older Japanese systems are Shift_JIS bytes on disk.
    void pathsThatAreNotUtf8ComeThroughAsBytes()
    {
        QString why;
        const auto cmd = parse_archiver_command_line(
            "u -a1 -r2 -l1 -jp1 -o2 \"/d/\x95\\ \xff.LZH\" \\ @/t/\x82\xa0 ", why);
        QVERIFY2(cmd.has_value(), qPrintable(why));
        QCOMPARE(cmd->archive, QByteArray("/d/\x95\\ \xff.LZH"));
        QCOMPARE(cmd->listFiles, QList<QByteArray>({"/t/\x82\xa0"}));
        const ListFile list =
            parse_list_text("/d/\x82\xa0.xls\r\n\"/d/\x95\\ caf\xe9.xls\"\r\n\r\n");
        QCOMPARE(list.status, ListFile::Status::Ok);
        QCOMPARE(list.entries, QList<QByteArray>({"/d/\x82\xa0.xls", "/d/\x95\\ caf\xe9.xls"}));
    }

    void badCommandLinesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("only blanks") << QByteArray("   ");
        QTest::newRow("no archive") << QByteArray("u -a1 -r2 -l1 -jp1 -o2 ");
        QTest::newRow("no files") << QByteArray("u -a1 -r2 -l1 -jp1 -o2 X.LZH \\ ");
        QTest::newRow("bare @") << QByteArray("u -a1 X.LZH \\ @ ");
        QTest::newRow("unknown switch") << QByteArray("u -a1 -x9 X.LZH \\ @l ");
        QTest::newRow("open quote") << QByteArray("u -a1 \"X Y.LZH \\ @l ");
        QTest::newRow("NUL") << QByteArray("u -a1 X\0.LZH \\ @l ", 18);
    }
    void badCommandLinesAreRefused()
    {
        QFETCH(QByteArray, line);
        QString why;
        QVERIFY(!parse_archiver_command_line(line.toStdString(), why).has_value());
        QVERIFY(!why.isEmpty());
    }

    void listEntriesComeThroughIntact()
    {
        const QStringList entries = {QStringLiteral("/d/plain.xls"),
                                     QStringLiteral("/d/My Documents/a b.xls"),
                                     QStringLiteral("/d/x,y.doc"),
                                     QStringLiteral("/d/予算 ①/見積書,第2版.xls"),
                                     QStringLiteral("/d/\"quoted\".doc"),
                                     QStringLiteral("/d/\"has space\".doc"),
                                     QStringLiteral("/d/semi;colon'apos.xls")};
        const ListFile list = parse_list_text(test::listFileText(entries));
        QCOMPARE(list.status, ListFile::Status::Ok);
        QList<QByteArray> bytes;
        for (const QString& e : entries)
            bytes << e.toUtf8();
        QCOMPARE(list.entries, bytes);
    }

    void emptyLinesNameNothing()
    {
        const ListFile list = parse_list_text("\r\n/d/a.xls\r\n\r\n\r\n/d/b.xls\r\n\r\n");
        QCOMPARE(list.status, ListFile::Status::Ok);
        QCOMPARE(list.entries, QList<QByteArray>({"/d/a.xls", "/d/b.xls"}));
        // What the caller writes with nothing marked: two line ends.
        const ListFile none = parse_list_text("\r\n\r\n");
        QCOMPARE(none.status, ListFile::Status::Ok);
        QVERIFY(none.entries.isEmpty());
    }

    void malformedLinesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("line");
        QTest::newRow("unquoted space") << QByteArray("/d/a.xls\r\n/d/a b.xls\r\n\r\n") << 2;
        QTest::newRow("unquoted comma") << QByteArray("/d/a,b.xls\r\n\r\n") << 1;
        QTest::newRow("open quote") << QByteArray("\"/d/a b.xls\r\n\r\n") << 1;
        QTest::newRow("bare LF") << QByteArray("/d/a.xls\n/d/b.xls\r\n\r\n") << 1;
        QTest::newRow("bare CR") << QByteArray("/d/a.xls\r/d/b.xls\r\n\r\n") << 1;
        QTest::newRow("cut off") << QByteArray("/d/a.xls\r\n/d/b.x") << 2;
        QTest::newRow("NUL") << QByteArray("/d/a.xls\r\n/d/b\0c\r\n\r\n", 21) << 2;
    }
    void malformedLinesAreRefused()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, line);
        const ListFile list = parse_list_text(text);
        QCOMPARE(list.status, ListFile::Status::Malformed);
        QCOMPARE(list.badLine, line);
        QVERIFY(list.entries.isEmpty());
    }

    void storedPathIsTheWholePathWithoutBase_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("stored");
        QTest::newRow("no base") << QStringLiteral("/home/u/a.xls") << QString()
                                 << QStringLiteral("home/u/a.xls");
        QTest::newRow("slash base") << QStringLiteral("/home/u/a.xls") << QStringLiteral("/")
                                    << QStringLiteral("home/u/a.xls");
        QTest::newRow("backslash base") << QStringLiteral("/home/u/a.xls") << QStringLiteral("\\")
                                        << QStringLiteral("home/u/a.xls");
        QTest::newRow("below base") << QStringLiteral("/home/u/d/a.xls")
                                    << QStringLiteral("/home/u") << QStringLiteral("d/a.xls");
        QTest::newRow("base with slash") << QStringLiteral("/home/u/d/a.xls")
                                         << QStringLiteral("/home/u/") << QStringLiteral("d/a.xls");
        QTest::newRow("outside base") << QStringLiteral("/srv/a.xls") << QStringLiteral("/home/u")
                                      << QStringLiteral("srv/a.xls");
        QTest::newRow("prefix is not a folder")
            << QStringLiteral("/home/user/a.xls") << QStringLiteral("/home/u")
            << QStringLiteral("home/user/a.xls");
        QTest::newRow("dots cleaned") << QStringLiteral("/home/u/./x/../a.xls") << QString()
                                      << QStringLiteral("home/u/a.xls");
        QTest::newRow("japanese") << QStringLiteral("/データ/報告 書.xls") << QString()
                                  << QStringLiteral("データ/報告 書.xls");
    }
    void storedPathIsTheWholePathWithoutBase()
    {
        QFETCH(QString, path);
        QFETCH(QString, base);
        QFETCH(QString, stored);
        QCOMPARE(QString::fromStdString(stored_path_for(path.toUtf8(), base.toUtf8())), stored);
    }
};

QTEST_GUILESS_MAIN(ArchiverInputTest)
#include "tst_archiver_input.moc"
