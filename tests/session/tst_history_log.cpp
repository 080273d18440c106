// SPDX-License-Identifier: GPL-3.0-or-later
// History rows: time stamps, colours, order and clearing.
#include "fakes.h"
#include "session/history_log.h"

#include <QtTest>

using namespace pelmora;
using namespace pelmora::test;

class TestHistoryLog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void time_stamp_has_two_digit_fields_and_a_24_hour_clock()
    {
        QCOMPARE(history_time_stamp(QDateTime(QDate(2002, 2, 20), QTime(21, 5, 3))),
                 QStringLiteral("02年02月20日 21時05分03秒"));
        QCOMPARE(history_time_stamp(QDateTime(QDate(2026, 12, 7), QTime(0, 0, 0))),
                 QStringLiteral("26年12月07日 00時00分00秒"));
        QCOMPARE(history_time_stamp(QDateTime(QDate(2100, 1, 9), QTime(9, 59, 59))),
                 QStringLiteral("00年01月09日 09時59分59秒"));
    }

    void rows_keep_their_order_colour_and_own_time()
    {
        FakeClock clock;
        HistoryLog log(clock);
        log.append_history_row(QStringLiteral("one"), history::Refresh);
        log.append_history_row(QStringLiteral("two")); // same second: same stamp, later row
        clock.time = clock.time.addSecs(61);
        log.append_failure_row();
        QCOMPARE(log.size(), 3);
        QCOMPARE(log.entry(0).time, log.entry(1).time);
        QCOMPARE(log.entry(0).text, QStringLiteral("one"));
        QCOMPARE(log.entry(1).text, QStringLiteral("two"));
        QCOMPARE(log.entry(0).color, history::Refresh);
        QCOMPARE(log.entry(1).color, wincolor::None);
        QCOMPARE(log.entry(2).text, QStringLiteral("上記の作業に失敗しました"));
        QCOMPARE(log.entry(2).color, WinColor(0xC0C0FF));
        QCOMPARE(log.entry(2).time, QStringLiteral("02年02月20日 21時06分04秒"));
        // Both cells carry the row's colour; a row without colour has the default background.
        const QColor refresh = log.data(log.index(0, 1), Qt::BackgroundRole).value<QColor>();
        QCOMPARE(refresh, QColor(0x80, 0x80, 0xFF));
        QCOMPARE(log.data(log.index(0, 0), Qt::BackgroundRole).value<QColor>(), refresh);
        QVERIFY(!log.data(log.index(1, 0), Qt::BackgroundRole).isValid());
    }

    void clearing_leaves_only_the_header()
    {
        FakeClock clock;
        HistoryLog log(clock);
        log.reset_history_grid();
        QCOMPARE(log.rowCount(), 0);
        log.append_history_row(QStringLiteral("x"), history::Copy);
        log.reset_history_grid();
        QCOMPARE(log.rowCount(), 0);
        QCOMPARE(log.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("操作時間"));
        QCOMPARE(log.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("操作内容"));
        QCOMPARE(log.headerData(0, Qt::Horizontal, Qt::ForegroundRole).value<QColor>(),
                 QColor(0, 0, 0xC0));
    }
};

QTEST_GUILESS_MAIN(TestHistoryLog)
#include "tst_history_log.moc"
