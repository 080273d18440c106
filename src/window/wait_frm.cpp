// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/wait_frm.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

namespace pelmora {

Wait_Frm::Wait_Frm(QWidget* owner)
    // A tool window stays above its owner only, not above other programs.
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("Wait_Frm"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(6, 6, 6, 6);
    auto* shape = new QFrame(this);
    shape->setObjectName(QStringLiteral("Shape1"));
    shape->setFrameShape(QFrame::Box);
    shape->setLineWidth(2);
    shape->setStyleSheet(QStringLiteral("QFrame#Shape1 { border: 2px solid #4060a0; "
                                        "border-radius: 6px; background: #f4f7fc; }"));
    auto* inner = new QVBoxLayout(shape);
    inner->setContentsMargins(28, 18, 28, 18);
    auto* label = new QLabel(QStringLiteral("少しお待ちください. . . . ."), shape);
    label->setObjectName(QStringLiteral("Label1"));
    QFont f = label->font();
    f.setPointSizeF(f.pointSizeF() * 1.2);
    label->setFont(f);
    inner->addWidget(label);
    setAccessibleName(label->text());
    outer->addWidget(shape);
    adjustSize();
}

} // namespace pelmora
