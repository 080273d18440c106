// SPDX-License-Identifier: GPL-3.0-or-later
// The progress dialog of long copies: hidden at first, its Cancel stops the copy, and it says
// whether it copies or moves.
#include "backends/qt/qt_copy_progress.h"

#include <QProgressDialog>
#include <QtTest>

using namespace pelmora;

namespace {
constexpr qint64 kMiB = qint64(1024) * 1024;
} // namespace

class TestQtCopyProgress : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void stays_hidden_at_first_and_cancel_stops_the_copy()
    {
        QWidget owner;
        QtCopyProgressFactory factory;
        factory.set_owner(&owner);
        const qint64 total = 8 * kMiB;
        auto progress = factory.begin(Path(QStringLiteral("/d/a.xls")),
                                      Path(QStringLiteral("/e/a.xls")), total, Transfer::Copy);
        QVERIFY(progress->update(kMiB, total));
        auto* dialog = owner.findChild<QProgressDialog*>();
        QVERIFY(dialog);
        QVERIFY(!dialog->isVisible()); // a copy that ends within a second shows nothing
        QCOMPARE(dialog->minimumDuration(), QtCopyProgressFactory::kShowAfterMs);
        QCOMPARE(dialog->value(), 1024);
        QCOMPARE(dialog->labelText(), QStringLiteral("a.xls を /e へコピーしています"));
        dialog->cancel();
        QVERIFY(!progress->update(2 * kMiB, total));
    }

    void files_past_two_gigabytes_fit_the_range()
    {
        QWidget owner;
        QtCopyProgressFactory factory;
        factory.set_owner(&owner);
        const qint64 total = kMiB * 1024 * 5;
        // A move to another file system copies first, and says it moves.
        auto progress = factory.begin(Path(QStringLiteral("/d/big")),
                                      Path(QStringLiteral("/e/big")), total, Transfer::Move);
        QVERIFY(progress->update(total - 1024, total));
        auto* dialog = owner.findChild<QProgressDialog*>();
        QVERIFY(dialog->maximum() > 0);
        QCOMPARE(dialog->value(), int((total - 1024) / 1024));
        QCOMPARE(dialog->labelText(), QStringLiteral("big を /e へ移動しています"));
    }
};

QTEST_MAIN(TestQtCopyProgress)
#include "tst_qt_copy_progress.moc"
