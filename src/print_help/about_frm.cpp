// SPDX-License-Identifier: GPL-3.0-or-later
#include "print_help/about_frm.h"

#include <QApplication>
#include <QFont>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace pelmora {

namespace {

// The requested face first; the others stand in where it is not installed.
QFont about_font(const QStringList& families)
{
    QFont font;
    font.setFamilies(families);
    font.setBold(true);
    font.setPointSizeF(11.25);
    return font;
}

} // namespace

About_Frm::About_Frm()
{
    setObjectName(QStringLiteral("About_Frm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(QStringLiteral("バージョン情報"));

    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
    image->setPixmap(icon.pixmap(32, 32));
    image->setFixedSize(32, 32);
    image->setAccessibleName(QStringLiteral("Pelmora"));

    auto* title = new QLabel(QStringLiteral("Pelmora Ver1.1"), this);
    title->setObjectName(QStringLiteral("Label1"));
    title->setFont(about_font({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                               QStringLiteral("Noto Sans CJK JP")}));

    auto* purpose = new QLabel(QStringLiteral("Excel & Word の文書を管理・閲覧する"), this);
    purpose->setObjectName(QStringLiteral("Label4"));
    purpose->setTextFormat(Qt::PlainText);
    // Read as written: "&" here is no mnemonic marker.
    purpose->setAccessibleName(purpose->text());

    auto* ok = new QPushButton(QStringLiteral("OK(&O)"), this);
    ok->setObjectName(QStringLiteral("Command1"));
    ok->setFont(about_font({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"),
                            QStringLiteral("DejaVu Serif")}));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &About_Frm::Command1_Click);

    auto* texts = new QVBoxLayout;
    texts->addWidget(title);
    texts->addWidget(purpose);
    auto* top = new QHBoxLayout;
    top->addWidget(image, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(texts);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void About_Frm::Command1_Click()
{
    close(); // destroys the window (WA_DeleteOnClose)
}

AboutLauncher::~AboutLauncher()
{
    if (m_window)
        m_window->close();
}

About_Frm* AboutLauncher::show()
{
    if (!m_window) {
        // Owns itself: it is deleted when it closes.
        m_window = new About_Frm;
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    return m_window;
}

} // namespace pelmora
