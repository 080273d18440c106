// SPDX-License-Identifier: GPL-3.0-or-later
// What the file-operation and undo commands need of the program around them: the session,
// the history, the message boxes and the shell, plus the few main-window effects they cause.
// Kept free of widgets so the commands run in the core library.
#pragma once

#include "base/crlf.h"

#include <QString>
#include <functional>

namespace pelmora {

struct QRV_Public;
class HistoryLog;
class MessageBoxes;
class EventYield;
class Shell;
class FileSystem;
class Archiver;
class ArchiveFiles;

struct CommandEnv
{
    QRV_Public& session;
    HistoryLog& history;
    MessageBoxes& messages;
    EventYield& yield;
    Shell* shell = nullptr;
    std::function<bool()> single_mode{};
    std::function<void(bool)> set_undo_enabled{};
    std::function<void()> start_blink{};
    std::function<void(bool)> set_busy_pointer{};
    Archiver* archiver = nullptr; // compression
    // Called with false when a command starts and true when it ends, so the window can
    // disable what would start another one (the command ignores such a start anyway).
    std::function<void(bool)> set_commands_enabled{};
    FileSystem* files = nullptr;           // what stands at a path
    ArchiveFiles* archive_files = nullptr; // the list file and the archive of a compression
};

// Shows the hourglass for as long as it lives.
class BusyPointer final
{
public:
    explicit BusyPointer(const CommandEnv& env) : m_env(env)
    {
        if (m_env.set_busy_pointer)
            m_env.set_busy_pointer(true);
    }
    ~BusyPointer()
    {
        if (m_env.set_busy_pointer)
            m_env.set_busy_pointer(false);
    }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

private:
    const CommandEnv& m_env;
};

} // namespace pelmora
