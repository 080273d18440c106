// SPDX-License-Identifier: GPL-3.0-or-later
// The history viewer: the log grid, its heading and the clear and OK buttons. Loaded hidden
// at start-up and kept for the whole run; hiding it does not change the log.
#pragma once

#include <QDialog>

class QTableView;

namespace pelmora {

class HistoryLog;

class rireki_Frm final : public QDialog
{
    Q_OBJECT
public:
    rireki_Frm(HistoryLog& log, QWidget* owner);

    void cmd_ok_Click();
    void Command1_Click();

    QTableView* grd2() const { return m_grd2; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    HistoryLog& m_log;
    QTableView* m_grd2 = nullptr;
};

} // namespace pelmora
