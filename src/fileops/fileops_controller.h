// Connects the main window's copy, move, trash and undo items to their commands.
#pragma once

#include "undo/undo_command.h"

#include <QObject>

namespace pelmora {

class QRV_Main;
struct CommandEnv;

class FileOpsController final : public QObject
{
    Q_OBJECT
public:
    explicit FileOpsController(QRV_Main& window);

    void p_filecopy_Click();
    void p_filemove_Click();
    void p_dust_Click();
    void p_undo_Click();

    // The compression side hands in how its archive is undone (by default: deleted).
    void set_archive_undo(ArchiveUndo undo) { m_archive_undo = std::move(undo); }

private:
    CommandEnv env();
    void choose_destination();

    QRV_Main& m_window;
    ArchiveUndo m_archive_undo = delete_archive;
};

} // namespace pelmora
