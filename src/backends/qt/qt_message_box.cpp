// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/qt/qt_message_box.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSpacerItem>
#include <QStyle>

namespace pelmora {

namespace {

// Japanese text may break between any two characters, so a box that is too narrow splits
// words. The box is made as wide as its longest line (up to the screen's width), so the only
// breaks are the ones the text itself has.
void widen_for_lines(QMessageBox& box, const QString& text)
{
    const QFontMetrics metrics(box.font());
    int widest = 0;
    for (const QString& line : QString(text)
                                   .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                                   .split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line));
    const QScreen* screen = box.screen() ? box.screen() : QGuiApplication::primaryScreen();
    const int iconRoom = 32 + 3 * box.style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing);
    int width = widest + iconRoom + 8;
    if (screen)
        width = std::min(width, screen->availableSize().width() - 64);
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

} // namespace

MsgAnswer QtMessageBoxes::show(const QString& text, MsgIcon icon, MsgButtons buttons)
{
    QWidget* owner = m_owner ? m_owner.data() : QApplication::activeWindow();
    QMessageBox box(owner);
    box.setWindowTitle(QString::fromUtf8(kAppTitle));
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    QString iconName;
    switch (icon) {
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        iconName = QStringLiteral("情報");
        break;
    case MsgIcon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        iconName = QStringLiteral("警告");
        break;
    case MsgIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        iconName = QStringLiteral("エラー");
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        iconName = QStringLiteral("確認");
        break;
    }
    // The icon says what kind of message this is; a screen reader says it too.
    if (auto* picture = box.findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label")))
        picture->setAccessibleName(iconName);
    widen_for_lines(box, text);
    if (buttons == MsgButtons::Ok) {
        box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.exec();
        return MsgAnswer::Ok;
    }
    QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes ? MsgAnswer::Yes : MsgAnswer::No;
}

} // namespace pelmora
