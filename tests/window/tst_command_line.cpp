// SPDX-License-Identifier: GPL-3.0-or-later
// Arguments: none opens the window, --help and --version print and exit, anything else is a
// usage error on stderr with code 2.
#include "window/command_line.h"

#include <QtTest>

using namespace pelmora;

class TestCommandLine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void arguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("open_window");
        QTest::addColumn<QString>("first_line");
        QTest::addColumn<bool>("to_stderr");
        QTest::addColumn<int>("exit_code");
        const QString usage = QStringLiteral("使い方: pelmora [--help | --version]");
        QTest::newRow("none") << QStringList{} << true << QString() << false << 0;
        QTest::newRow("version") << QStringList{QStringLiteral("--version")} << false
                                 << QStringLiteral("pelmora " PELMORA_VERSION) << false << 0;
        QTest::newRow("help") << QStringList{QStringLiteral("--help")} << false << usage << false
                              << 0;
        QTest::newRow("unknown option")
            << QStringList{QStringLiteral("--bogus")} << false
            << QStringLiteral("pelmora: 使えない引数です: --bogus") << true << 2;
        QTest::newRow("file name")
            << QStringList{QStringLiteral("見積.xls")} << false
            << QStringLiteral("pelmora: 使えない引数です: 見積.xls") << true << 2;
        QTest::newRow("help with more")
            << QStringList{QStringLiteral("--help"), QStringLiteral("x")} << false
            << QStringLiteral("pelmora: 使えない引数です: --help") << true << 2;
        QTest::newRow("single dash")
            << QStringList{QStringLiteral("-version")} << false
            << QStringLiteral("pelmora: 使えない引数です: -version") << true << 2;
    }

    void arguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, open_window);
        QFETCH(QString, first_line);
        QFETCH(bool, to_stderr);
        QFETCH(int, exit_code);
        const CommandLineAction action = parse_command_line(arguments);
        QCOMPARE(action.open_window, open_window);
        QCOMPARE(action.to_stderr, to_stderr);
        QCOMPARE(action.exit_code, exit_code);
        if (open_window) {
            QVERIFY(action.output.isEmpty());
            return;
        }
        QVERIFY(action.output.endsWith(QLatin1Char('\n')));
        QCOMPARE(action.output.section(QLatin1Char('\n'), 0, 0), first_line);
        if (to_stderr) // an error still tells how the program is used
            QVERIFY(action.output.contains(QStringLiteral("使い方: pelmora")));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
