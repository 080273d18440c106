// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/fileops_controller.h"

#include "fileops/command_env.h"
#include "fileops/compress_command.h"
#include "fileops/copy_move_command.h"
#include "fileops/dir_select_frm.h"
#include "fileops/trash_command.h"
#include "ports/platform.h"
#include "undo/undo_command.h"

#include <QAction>

namespace pelmora {

FileOpsController::FileOpsController(QRV_Public& session, HistoryLog& history,
                                     const Platform& platform, const FileOpsMenu& menu,
                                     MainView& window, UndoManager& undo, QWidget* dialog_parent,
                                     QObject* parent)
    : QObject(parent), m_session(session), m_history(history), m_platform(platform), m_menu(menu),
      m_window(window), m_undo(undo), m_dialogParent(dialog_parent)
{
    auto hook = [this](QAction* a, void (FileOpsController::*slot)()) {
        if (a != nullptr)
            connect(a, &QAction::triggered, this, slot);
    };
    hook(m_menu.p_filecopy, &FileOpsController::p_filecopy_Click);
    hook(m_menu.p_filemove, &FileOpsController::p_filemove_Click);
    hook(m_menu.p_dust, &FileOpsController::p_dust_Click);
    hook(m_menu.p_lha, &FileOpsController::p_lha_Click);
    hook(m_menu.p_undo, &FileOpsController::p_undo_Click);
}

CommandEnv FileOpsController::env()
{
    CommandEnv e{m_session, m_history, *m_platform.messages, *m_platform.yield, m_window, m_undo};
    e.shell = m_platform.shell;
    e.archiver = m_platform.archiver;
    e.files = m_platform.files;
    e.archive_files = m_platform.archive_files;
    return e;
}

void FileOpsController::choose_destination()
{
    dir_selectFrm dialog(m_session, m_platform, m_dialogParent);
    dialog.exec();
}

void FileOpsController::p_filecopy_Click()
{
    CommandEnv e = env();
    run_copy_or_move(e, TransferKind::Copy, [this] { choose_destination(); });
}

void FileOpsController::p_filemove_Click()
{
    CommandEnv e = env();
    run_copy_or_move(e, TransferKind::Move, [this] { choose_destination(); });
}

void FileOpsController::p_dust_Click()
{
    CommandEnv e = env();
    run_trash(e);
}

void FileOpsController::p_lha_Click()
{
    CommandEnv e = env();
    run_compress(e, [this] { choose_destination(); });
}

void FileOpsController::p_undo_Click()
{
    CommandEnv e = env();
    run_undo(e);
}

} // namespace pelmora
