#include "app/window/rireki_frm.h"

#include "app/session/history_log.h"
#include "app/window/grid_setup.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
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
    setup_grid_view(m_grd2);
    set_column_twips(m_grd2, 0, kHistoryTimeTwips);
    set_column_twips(m_grd2, 1, kHistoryTextTwips);
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

    resize(twips_to_pixels(this, kHistoryTimeTwips + kHistoryTextTwips + 600), 420);
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
