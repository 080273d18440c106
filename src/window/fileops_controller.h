// SPDX-License-Identifier: GPL-3.0-or-later
// Connects the copy, move, trash, compression and undo menu items to their commands.
#pragma once

#include <QObject>

class QAction;
class QWidget;

namespace pelmora {

struct CommandEnv;
class MainView;
class UndoManager;
struct Platform;
struct QRV_Public;
class HistoryLog;

// The menu items the controller answers.
struct FileOpsMenu
{
    QAction* p_filecopy = nullptr;
    QAction* p_filemove = nullptr;
    QAction* p_dust = nullptr;
    QAction* p_lha = nullptr;
    QAction* p_undo = nullptr;
};

class FileOpsController final : public QObject
{
    Q_OBJECT
public:
    FileOpsController(QRV_Public& session, HistoryLog& history, const Platform& platform,
                      const FileOpsMenu& menu, MainView& window, UndoManager& undo,
                      QWidget* dialog_parent, QObject* parent = nullptr);

    void p_filecopy_Click();
    void p_filemove_Click();
    void p_dust_Click();
    void p_lha_Click();
    void p_undo_Click();

private:
    CommandEnv env();
    void choose_destination();

    QRV_Public& m_session;
    HistoryLog& m_history;
    const Platform& m_platform;
    FileOpsMenu m_menu;
    MainView& m_window;
    UndoManager& m_undo;
    QWidget* m_dialogParent;
};

} // namespace pelmora
