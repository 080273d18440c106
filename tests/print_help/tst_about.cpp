// SPDX-License-Identifier: GPL-3.0-or-later
// The About window: its texts and fonts, non-modal with no owner, one at a time, destroyed by
// OK and created afresh on the next call.
#include "print_help/about_frm.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace pelmora;

namespace {

int about_windows()
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += qobject_cast<About_Frm*>(w) ? 1 : 0;
    return n;
}

void check_content(About_Frm* about)
{
    QCOMPARE(about->windowTitle(), QStringLiteral("バージョン情報"));

    auto* image = about->findChild<QLabel*>(QStringLiteral("Image1"));
    QVERIFY(image);
    QVERIFY(!image->pixmap().isNull());
    QCOMPARE(image->pixmap().deviceIndependentSize().toSize(), QSize(32, 32));

    auto* title = about->findChild<QLabel*>(QStringLiteral("Label1"));
    QVERIFY(title);
    QCOMPARE(title->text(), QStringLiteral("Pelmora Ver1.1"));
    QCOMPARE(title->font().families().front(), QStringLiteral("ＭＳ Ｐゴシック"));
    QVERIFY(title->font().bold());
    QCOMPARE(title->font().pointSizeF(), 11.25);

    auto* purpose = about->findChild<QLabel*>(QStringLiteral("Label4"));
    QVERIFY(purpose);
    QCOMPARE(purpose->text(), QStringLiteral("Excel & Word の文書を管理・閲覧する"));

    auto* ok = about->findChild<QPushButton*>(QStringLiteral("Command1"));
    QVERIFY(ok);
    QCOMPARE(ok->text(), QStringLiteral("OK(&O)"));
    QCOMPARE(ok->font().families().front(), QStringLiteral("Times New Roman"));
    QVERIFY(ok->font().bold());
    QCOMPARE(ok->font().pointSizeF(), 11.25);
}

} // namespace

class AboutTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<About_Frm*>(w))
                w->close();
        QTRY_COMPARE(about_windows(), 0);
    }

    void shows_the_texts_and_fonts()
    {
        AboutLauncher launcher;
        About_Frm* about = launcher.show();
        QVERIFY(about);
        QVERIFY(about->isVisible());
        check_content(about);
    }

    void opens_without_blocking_and_without_owner()
    {
        AboutLauncher launcher;
        About_Frm* about = launcher.show(); // returns at once: not run as a modal loop
        QVERIFY(about->isVisible());
        QVERIFY(!about->isModal());
        QCOMPARE(about->windowModality(), Qt::NonModal);
        QVERIFY(!about->parentWidget());
    }

    void second_call_keeps_one_window()
    {
        AboutLauncher launcher;
        About_Frm* first = launcher.show();
        About_Frm* second = launcher.show();
        QCOMPARE(second, first);
        QCOMPARE(about_windows(), 1);
        QCOMPARE(launcher.window(), first);
    }

    void ok_destroys_the_window_and_next_call_creates_a_fresh_one()
    {
        AboutLauncher launcher;
        QPointer<About_Frm> first = launcher.show();
        QTest::mouseClick(first->findChild<QPushButton*>(QStringLiteral("Command1")),
                          Qt::LeftButton);
        QTRY_VERIFY(first.isNull());
        QVERIFY(!launcher.window());
        QCOMPARE(about_windows(), 0);

        About_Frm* again = launcher.show();
        QVERIFY(again);
        QVERIFY(again->isVisible());
        QCOMPARE(about_windows(), 1);
        check_content(again);
    }
};

QTEST_MAIN(AboutTest)
#include "tst_about.moc"
