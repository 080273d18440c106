// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/rireki_frm.h"

#include "session/history_log.h"
#include "window/grid_setup.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

namespace pelmora {

rireki_Frm::rireki_Frm(HistoryLog& log, QWidget* owner) : QDialog(owner), m_log(log)
{
    setObjectName(QStringLiteral("rireki_Frm"));
    setWindowTitle(QStringLiteral("操作履歴"));
    auto* layout = new QVBoxLayout(this);

    auto* heading = new QLabel(QStringLiteral("操作履歴"), this);
    heading->setObjectName(QStringLiteral("Label1"));
    QFont hf = heading->font();
    hf.setBold(true);
    hf.setPointSizeF(hf.pointSizeF() * 1.3);
    heading->setFont(hf);
    layout->addWidget(heading);

    m_grd2 = new QTableView(this);
    m_grd2->setObjectName(QStringLiteral("grd2"));
    m_grd2->setModel(&m_log);
    m_grd2->setAccessibleName(heading->text());
    setup_grid_view(m_grd2);
    // The time column is never narrower than a whole time stamp; the text column takes the
    // rest of the window's width.
    const int stampWidth =
        m_grd2->fontMetrics().horizontalAdvance(QStringLiteral("00年00月00日 00時00分00秒")) +
        m_grd2->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_grd2) * 2 + 12;
    m_grd2->setColumnWidth(0, std::max(twips_to_pixels(m_grd2, kHistoryTimeTwips), stampWidth));
    new StretchColumn(m_grd2, 1, kHistoryTextTwips);
    elide_column_folders(m_grd2, 1);
    layout->addWidget(m_grd2, 1);

    auto* buttons = new QHBoxLayout;
    auto* clear = new QPushButton(QStringLiteral("履歴のクリア"), this);
    clear->setObjectName(QStringLiteral("Command1"));
    auto* ok = new QPushButton(QStringLiteral("OK(&O)"), this);
    ok->setObjectName(QStringLiteral("cmd_ok"));
    ok->setDefault(true);
    buttons->addWidget(clear);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    connect(clear, &QPushButton::clicked, this, &rireki_Frm::Command1_Click);
    connect(ok, &QPushButton::clicked, this, &rireki_Frm::cmd_ok_Click);

    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableSize() - QSize(24, 56) : QSize(1000, 680);
    resize(QSize(twips_to_pixels(this, kHistoryTimeTwips + kHistoryTextTwips + 600), 420)
               .boundedTo(room));
}

void rireki_Frm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The newest row is the one a user comes to read.
    m_grd2->scrollToBottom();
}

void rireki_Frm::cmd_ok_Click()
{
    hide();
    setResult(QDialog::Accepted);
    done(QDialog::Accepted);
}

void rireki_Frm::Command1_Click()
{
    m_log.reset_history_grid();
}

} // namespace pelmora
