// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's handlers for selection, preview, Refresh, the type switch and open.
#include "catalogue/catalogue.h"
#include "catalogue/grid_filter.h"
#include "catalogue/result_table_model.h"
#include "ports/message_box.h"
#include "ports/platform.h"
#include "selection/grid_selection.h"
#include "selection/open_file.h"
#include "selection/preview_pane.h"
#include "session/history_log.h"
#include "session/session.h"
#include "window/grid_setup.h"
#include "window/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTableView>

namespace pelmora {

void QRV_Main::connect_selection()
{
    m_preview = std::make_unique<PreviewPane>(OLE1, m_platform.preview);
    // The pane takes keys (pages, zoom, the viewer): its Tab stop follows the check box.
    setTabOrder(chk, m_preview->focus_widget());
    SelectionControls c;
    c.window = this;
    c.chk = chk;
    c.lbl_filename = lbl_filename;
    c.lbl_lastup = lbl_lastup;
    c.fileItems = {p_lha, p_filemove, p_filecopy, p_dust};
    m_selection = new GridSelection(m_session, *m_results, *m_preview, *m_platform.yield,
                                    *m_platform.messages, *m_platform.files, c, this);
    connect(grd1, &QTableView::clicked, this,
            [this](const QModelIndex& i) { m_selection->grd1_Click(i.row() + 1); });
    // The keyboard's way to click: arrows choose the row, Space or Enter clicks it; in
    // single mode Enter then opens it, as a double-click does.
    click_current_row_on_key(
        grd1, [this](int row) { m_selection->grd1_Click(row + 1); },
        [this](int /*row*/) {
            if (single_mode())
                open_from_grid();
        });
    connect(grd1, &QTableView::doubleClicked, this, [this](const QModelIndex& i) {
        if (i.isValid())
            open_from_grid();
    });
    grd1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grd1, &QWidget::customContextMenuRequested, this, &QRV_Main::show_row_menu);
    auto* trash = new QShortcut(QKeySequence(Qt::Key_Delete), grd1);
    trash->setContext(Qt::WidgetShortcut);
    connect(trash, &QShortcut::activated, this, [this] {
        if (p_dust->isEnabled())
            p_dust->trigger();
    });
    connect(m_selection, &GridSelection::marks_changed, this, [this](qsizetype count) {
        lbl_marked->setText(QStringLiteral("選択中 %1 ファイル").arg(count));
        lbl_marked->setVisible(!single_mode());
    });
    for (QRadioButton* b : opt_f)
        connect(b, &QRadioButton::clicked, m_selection, &GridSelection::opt_f_Click);
    connect(chk, &QCheckBox::clicked, m_selection, &GridSelection::chk_Click);
}

void QRV_Main::open_from_grid()
{
    if (cmd_open->isEnabled() && !m_selection->nothing_selected())
        cmd_open_Click();
}

void QRV_Main::show_row_menu(const QPoint& at)
{
    const QModelIndex index = grd1->indexAt(at);
    if (!index.isValid())
        return;
    // The commands act on the row under the pointer: chosen in single mode, marked (once)
    // in multiple mode.
    const qsizetype row = index.row() + 1;
    if (single_mode() ? m_session.cur_row != row : !m_selection->is_marked(row))
        m_selection->grd1_Click(row);
    QMenu menu(grd1);
    menu.setObjectName(QStringLiteral("grd1_menu"));
    QAction* open = menu.addAction(cmd_open->text());
    open->setEnabled(cmd_open->isEnabled());
    connect(open, &QAction::triggered, this, &QRV_Main::open_from_grid);
    menu.addSeparator();
    menu.addActions({p_filecopy, p_filemove, p_dust});
    menu.addSeparator();
    menu.addAction(p_lha);
    menu.exec(grd1->viewport()->mapToGlobal(at));
}

void QRV_Main::Command1_Click()
{
    m_catalogue->set_suffix_filter(Text_Sufix->text());
    drop_filter();
    m_catalogue->refresh_list(current_root());
}

void QRV_Main::on_listing_finished(bool wasRefresh)
{
    // A new listing comes in the folder order again: no header order holds.
    grd1->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    // The office takes seconds to start: once the user reads the list, it starts unhurried.
    m_preview->warm_up_when_idle();
    txt_filter->setEnabled(true);
    m_filter->prepare();
    if (wasRefresh)
        m_history->append_history_row(QStringLiteral("最新の情報に更新 ボタンを押下しました"),
                                      history::Refresh);
}

void QRV_Main::opt_Click()
{
    const bool excel = opt[0]->isChecked();
    if (type_revert != 0) {
        type_revert = 0;
        return;
    }
    const DocType chosen = excel ? DocType::excel() : DocType::word();
    if (chosen == m_session.doc_type)
        return; // the button that was already on: nothing to switch
    if (!m_platform.messages->confirm(chosen.switch_question())) {
        // Put the other button back; the click that raises is swallowed by type_revert.
        type_revert = 1;
        QRadioButton* previous = opt[excel ? 1 : 0];
        previous->setChecked(true);
        opt_Click();
        return;
    }
    m_session.doc_type = chosen;
    Text_Sufix->setText(chosen.suffix());
    dir1_Change();
    if (!m_selection->nothing_selected())
        m_preview->reset();
}

void QRV_Main::cmd_open_Click()
{
    open_selected_file(m_session, *m_history, m_platform.opener, *m_platform.messages);
}

} // namespace pelmora
