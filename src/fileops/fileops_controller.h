// Connects the main window's copy, move, trash, compression and undo items to their commands.
#pragma once

#include "fileops/archive_backups.h"
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
    void p_lha_Click();
    void p_undo_Click();

private:
    CommandEnv env();
    void choose_destination();

    QRV_Main& m_window;
    // Archives a compression updated, kept so that its undo can put them back.
    ArchiveBackups m_archives;
};

} // namespace pelmora
