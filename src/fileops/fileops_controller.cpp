#include "fileops/fileops_controller.h"

#include "app/main_window.h"
#include "fileops/command_env.h"
#include "fileops/compress_command.h"
#include "fileops/copy_move_command.h"
#include "fileops/dir_select_frm.h"
#include "fileops/trash_command.h"
#include "platform/platform.h"

#include <QAction>

namespace pelmora {

FileOpsController::FileOpsController(QRV_Main& window) : QObject(&window), m_window(window)
{
    auto hook = [this](const char* name, void (FileOpsController::*slot)()) {
        if (QAction* a = m_window.menu_item(name))
            connect(a, &QAction::triggered, this, slot);
    };
    hook("p_filecopy", &FileOpsController::p_filecopy_Click);
    hook("p_filemove", &FileOpsController::p_filemove_Click);
    hook("p_dust", &FileOpsController::p_dust_Click);
    hook("p_lha", &FileOpsController::p_lha_Click);
    hook("p_undo", &FileOpsController::p_undo_Click);
}

CommandEnv FileOpsController::env()
{
    QRV_Main& w = m_window;
    const Platform& p = w.platform();
    return CommandEnv{
        w.session(),
        w.history(),
        *p.messages,
        *p.yield,
        p.shell,
        [&w] { return w.single_mode(); },
        [&w](bool on) {
            if (QAction* a = w.menu_item("p_undo"))
                a->setEnabled(on);
        },
        [&w] { w.start_blink(); },
        [&w](bool busy) { w.set_busy(busy); },
    };
}

void FileOpsController::choose_destination()
{
    dir_selectFrm dialog(m_window.session(), m_window.platform(), &m_window);
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
    run_compress(
        e, [this] { choose_destination(); }, m_archives);
}

void FileOpsController::p_undo_Click()
{
    CommandEnv e = env();
    run_undo(
        e, [this](const QString& archive) { return m_archives.undo(archive); },
        [this](const QString& archive) { return m_archives.restores(archive); });
}

} // namespace pelmora
