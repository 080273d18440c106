// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's filter box above the grid, and the clicked row that keeps its file while
// the rows are sorted or filtered under it.
#include "catalogue/grid_filter.h"
#include "catalogue/result_table_model.h"
#include "session/session.h"
#include "window/main_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QShortcut>

namespace pelmora {

void QRV_Main::connect_filter()
{
    m_filter = new GridFilter(*m_results, this);
    connect(txt_filter, &QLineEdit::textChanged, m_filter, &GridFilter::set_text);
    connect(m_filter, &GridFilter::applied, this, &QRV_Main::on_filter_applied);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        txt_filter->setFocus(Qt::ShortcutFocusReason);
        txt_filter->selectAll();
    });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), txt_filter);
    escape->setContext(Qt::WidgetShortcut);
    connect(escape, &QShortcut::activated, txt_filter, &QLineEdit::clear);
    connect(m_results.get(), &ResultTableModel::rows_regrouping, this,
            &QRV_Main::before_rows_regroup);
    connect(m_results.get(), &ResultTableModel::rows_regrouped, this,
            &QRV_Main::after_rows_regroup);
    // Typing starts once a listing is complete.
    txt_filter->setEnabled(false);
}

void QRV_Main::drop_filter()
{
    m_clickedHit = -1;
    m_clickedHidden = false;
    {
        const QSignalBlocker quiet(txt_filter);
        txt_filter->clear();
    }
    m_filter->reset();
    txt_filter->setEnabled(false);
}

void QRV_Main::on_filter_applied(qsizetype shown, qsizetype total)
{
    Label_Count->setText(m_filter->active() ? QStringLiteral("%1 / %2").arg(shown).arg(total)
                                            : QString::number(total));
}

void QRV_Main::before_rows_regroup()
{
    const qsizetype row = m_session.cur_row;
    if (row > 0 && row <= m_results->size()) {
        const std::uint32_t hit = m_results->hit_at(row - 1);
        // A row clicked while the one clicked before was hidden: that one is no longer chosen.
        if (m_clickedHidden && m_clickedHit != hit && single_mode())
            m_results->set_hit_background(std::uint32_t(m_clickedHit), ResultTableModel::NameColumn,
                                          wincolor::Window);
        m_clickedHit = hit;
        m_clickedHidden = false;
    } else if (!m_clickedHidden) {
        m_clickedHit = -1;
    }
}

void QRV_Main::after_rows_regroup()
{
    if (m_clickedHit < 0)
        return;
    const qsizetype row = m_results->row_of_hit(std::uint32_t(m_clickedHit));
    // Shown again after the mode buttons cleared every mark: no longer the chosen row.
    if (m_clickedHidden && row >= 0 && single_mode() &&
        m_results->cell_background(row, ResultTableModel::NameColumn) != wincolor::Selected) {
        m_clickedHit = -1;
        m_clickedHidden = false;
        return;
    }
    m_clickedHidden = row < 0;
    m_session.cur_row = row + 1;
}

} // namespace pelmora
