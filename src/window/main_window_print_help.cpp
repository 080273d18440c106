// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's handlers for the printed list, the help topics and the About window.
#include "catalogue/result_table_model.h"
#include "fileops/command_run.h"
#include "ports/help_viewer.h"
#include "ports/message_box.h"
#include "ports/platform.h"
#include "ports/printer.h"
#include "print_help/about_frm.h"
#include "print_help/print_list.h"
#include "session/history_log.h"
#include "session/session.h"
#include "window/main_window.h"

#include <QAction>
#include <QComboBox>
#include <QRadioButton>

namespace pelmora {

void QRV_Main::connect_print_help()
{
    m_about = std::make_unique<AboutLauncher>();
    connect(p_print, &QAction::triggered, this, &QRV_Main::p_print_Click);
    connect(p_use, &QAction::triggered, this, &QRV_Main::p_use_Click);
    connect(p_ver, &QAction::triggered, this, &QRV_Main::p_ver_Click);
}

void QRV_Main::p_print_Click()
{
    // Not inside a running file command, and no file command inside the printing.
    const CommandRun run(m_session, *this);
    if (!run.started())
        return;
    PrintInput input;
    input.drive = dir1->currentText();
    input.doc_type = opt[0]->isChecked() ? DocType::excel() : DocType::word();
    input.single_mode = single_mode();
    // The whole listing, whatever a filter shows of it.
    input.rows.reserve(m_results->listed_size());
    for (qsizetype i = 0; i < m_results->listed_size(); ++i)
        input.rows.append(ListedFile{m_results->listed_text(i, ResultTableModel::NameColumn),
                                     m_results->listed_text(i, ResultTableModel::FolderColumn)});
    input.marks = m_session.sel_marks;
    if (!has_print_data(input.rows)) {
        m_platform.messages->show(QString::fromUtf8(kNoPrintDataText), MsgIcon::Critical,
                                  MsgButtons::Ok);
        return;
    }
    set_busy_pointer(true);
    std::unique_ptr<Printer> printer =
        m_platform.printers ? m_platform.printers->create() : nullptr;
    const PrintOutcome outcome =
        printer ? print_result_list(*printer, input) : PrintOutcome::NoPrinter;
    set_busy_pointer(false);
    if (outcome == PrintOutcome::Printed) {
        m_history->append_history_row(print_history_text(input));
        return;
    }
    // Nothing reached paper: say why, and keep the history free of it.
    m_platform.messages->warn(print_failure_text(outcome));
}

void QRV_Main::p_use_Click()
{
    if (m_platform.help)
        m_platform.help->show_topics();
}

void QRV_Main::p_ver_Click()
{
    m_about->show();
}

} // namespace pelmora
