// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop opener starts a stand-in opener program with the exact bytes of the path and
// reports what its exit status says, without blocking the event loop; what cannot be opened
// is refused without starting anything.
#include "backends/desktop/desktop_opener.h"
#include "base/path.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <unistd.h>

using namespace std::chrono_literals;

namespace pelmora {

class TestDesktopOpener final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir_;
    int scripts_ = 0;

    QString make_file(const QString& name)
    {
        const QString path = dir_.path() + QLatin1Char('/') + name;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("x") != 1)
            return {};
        return path;
    }

    // A stand-in for xdg-open: writes its argument's bytes to a log, then runs body.
    QString make_opener(const QString& body, QString* log)
    {
        const QString base = dir_.path() + QStringLiteral("/opener%1").arg(++scripts_);
        *log = base + QStringLiteral(".log");
        const QString script =
            QStringLiteral("#!/bin/sh\nprintf '%s' \"$1\" > '%1'\n%2\n").arg(*log, body);
        QFile file(base);
        if (!file.open(QIODevice::WriteOnly) || file.write(script.toUtf8()) < 0)
            return {};
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return base;
    }

    static QByteArray read_log(const QString& log)
    {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Runs open() and waits for the answer, which must not come from inside open(). With
    // modal, the answer runs a nested event loop as a message box does, and reports in
    // *outlived whether its own captured state was still alive when that loop ended.
    static std::optional<bool> answer(Opener& opener, const Path& path, bool* synchronous,
                                      bool modal = false, bool* outlived = nullptr)
    {
        std::optional<bool> result;
        bool returned = false;
        *synchronous = false;
        const auto token = std::make_shared<int>(0);
        const std::weak_ptr<int> watch = token;
        opener.open(path, [&, token](bool accepted) {
            // Plain pointers to the caller's state: the closure itself may not survive.
            std::optional<bool>* out = &result;
            bool* alive = outlived;
            const std::weak_ptr<int>* seen = &watch;
            *synchronous = !returned;
            if (modal) {
                QEventLoop loop;
                QTimer::singleShot(300ms, &loop, &QEventLoop::quit);
                loop.exec();
            }
            if (alive)
                *alive = !seen->expired();
            *out = accepted;
        });
        returned = true;
        // The caller reads the result: an empty one says the answer never came.
        (void)QTest::qWaitFor([&] { return result.has_value(); }, 10000);
        return result;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void refuses_what_does_not_exist_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("empty") << QString();
        QTest::newRow("missing file") << dir_.path() + QStringLiteral("/gone.xls");
        QTest::newRow("missing folder") << dir_.path() + QStringLiteral("/no/such/memo.doc");
        QTest::newRow("relative, missing") << QStringLiteral("pelmora-missing.doc");
    }

    void refuses_what_does_not_exist()
    {
        QFETCH(QString, path);
        QString log;
        DesktopOpener opener(make_opener(QStringLiteral("exit 0"), &log));
        bool synchronous = true;
        QCOMPARE(answer(opener, Path(path), &synchronous), std::optional<bool>(false));
        QVERIFY(!synchronous);
        QVERIFY(!QFile::exists(log)); // nothing was started
    }

    void exit_status_decides_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("modal");
        QTest::newRow("opened") << QStringLiteral("exit 0") << true << false;
        QTest::newRow("no application for the type (xdg-open 3)")
            << QStringLiteral("exit 3") << false << false;
        QTest::newRow("action failed (xdg-open 4)") << QStringLiteral("exit 4") << false << false;
        QTest::newRow("killed") << QStringLiteral("kill -9 $$") << false << false;
        // A failure message box runs its own event loop inside the answer.
        QTest::newRow("refused, message box in the answer")
            << QStringLiteral("exit 4") << false << true;
        QTest::newRow("opened, message box in the answer")
            << QStringLiteral("exit 0") << true << true;
    }

    void exit_status_decides()
    {
        QFETCH(QString, body);
        QFETCH(bool, accepted);
        QFETCH(bool, modal);
        const QString path = make_file(QStringLiteral("見積書 第2版.doc"));
        QString log;
        DesktopOpener opener(make_opener(body, &log));
        bool synchronous = true;
        bool outlived = false;
        QCOMPARE(answer(opener, Path(path), &synchronous, modal, &outlived),
                 std::optional<bool>(accepted));
        QVERIFY(!synchronous);
        QVERIFY2(outlived, "the answer's state was freed while the answer ran");
        QCOMPARE(read_log(log), QFile::encodeName(path));
        QTRY_COMPARE_WITH_TIMEOUT(opener.running(), 0, 2000);
    }

    void path_bytes_reach_the_opener_exactly()
    {
        // "見積.xls" in Shift_JIS: not UTF-8, so only the exact bytes name the file.
        const QByteArray name = QByteArrayLiteral("\x8C\xA9\x90\xCF.xls");
        const QByteArray native = QFile::encodeName(dir_.path()) + '/' + name;
        const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        QString log;
        DesktopOpener opener(make_opener(QStringLiteral("exit 0"), &log));
        bool synchronous = true;
        QCOMPARE(answer(opener, Path::from_bytes(native), &synchronous), std::optional<bool>(true));
        QCOMPARE(read_log(log), native);
        ::unlink(native.constData()); // QTemporaryDir cannot name it
    }

    void relative_path_is_made_absolute()
    {
        const QString path = make_file(QStringLiteral("relative.doc"));
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir_.path()));
        QString log;
        DesktopOpener opener(make_opener(QStringLiteral("exit 0"), &log));
        bool synchronous = true;
        const std::optional<bool> result =
            answer(opener, Path(QStringLiteral("relative.doc")), &synchronous);
        QVERIFY(QDir::setCurrent(previous));
        QCOMPARE(result, std::optional<bool>(true));
        QCOMPARE(read_log(log), QFile::encodeName(path));
    }

    void missing_opener_program_is_a_refusal()
    {
        const QString path = make_file(QStringLiteral("book.xls"));
        DesktopOpener opener(QStringLiteral("pelmora-no-such-opener"));
        bool synchronous = true;
        QCOMPARE(answer(opener, Path(path), &synchronous), std::optional<bool>(false));
    }

    void waiting_does_not_block_and_a_long_runner_counts_as_opened()
    {
        // An opener that stays (the application runs in its place) is taken as accepted once
        // the settle time has passed; the event loop runs all the while.
        const QString path = make_file(QStringLiteral("long.xls"));
        QString log;
        DesktopOpener opener(make_opener(QStringLiteral("sleep 3"), &log), 500ms);
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
        timer.start(10ms);
        QElapsedTimer clock;
        clock.start();
        bool synchronous = true;
        QCOMPARE(answer(opener, Path(path), &synchronous), std::optional<bool>(true));
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(ticks >= 20, qPrintable(QString::number(ticks)));
        QCOMPARE(opener.running(), 1);
        // The process is still reaped when it ends; no second answer comes.
        QTRY_COMPARE_WITH_TIMEOUT(opener.running(), 0, 6000);
    }
};

} // namespace pelmora

QTEST_MAIN(pelmora::TestDesktopOpener)
#include "tst_desktop_opener.moc"
