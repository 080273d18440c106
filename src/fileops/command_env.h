// SPDX-License-Identifier: GPL-3.0-or-later
// What the file-operation and undo commands need of the program around them: the session,
// the history, the message boxes and the shell, plus the main window as the logic sees it.
// Kept free of widgets so the commands run in the core library.
#pragma once

#include "base/crlf.h"
#include "session/main_view.h"

#include <QString>

namespace pelmora {

struct QRV_Public;
class HistoryLog;
class MessageBoxes;
class EventYield;
class Shell;
class FileSystem;
class Archiver;
class ArchiveFiles;
class UndoManager;

struct CommandEnv
{
    QRV_Public& session;
    HistoryLog& history;
    MessageBoxes& messages;
    EventYield& yield;
    // The pointer, the controls that start a command, the blink and the selection mode.
    MainView& window;
    // The journal the command records into, and whether undo is available.
    UndoManager& undo;
    Shell* shell = nullptr;
    Archiver* archiver = nullptr;          // compression
    FileSystem* files = nullptr;           // what stands at a path
    ArchiveFiles* archive_files = nullptr; // the list file and the archive of a compression
};

// Shows the hourglass for as long as it lives.
class BusyPointer final
{
public:
    explicit BusyPointer(const CommandEnv& env) : m_window(env.window)
    {
        m_window.set_busy_pointer(true);
    }
    ~BusyPointer() { m_window.set_busy_pointer(false); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

private:
    MainView& m_window;
};

} // namespace pelmora
