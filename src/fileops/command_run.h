// SPDX-License-Identifier: GPL-3.0-or-later
// One command at a time. Commands let window events run while they work (between two
// files, inside the shell's questions, while printing), and a menu clicked then would start a
// second command on the same session: it would change the destination, the selection or the
// journal under the first one. Every file command and the printed list start with a
// CommandRun; while one is alive, another does not start.
#pragma once

#include "fileops/command_env.h"
#include "session/main_view.h"
#include "session/session.h"

namespace pelmora {

class CommandRun final
{
public:
    explicit CommandRun(CommandEnv& env) : CommandRun(env.session, env.window) {}
    CommandRun(QRV_Public& session, MainView& window)
        : m_session(session), m_window(window), m_started(!session.command_running)
    {
        if (!m_started)
            return;
        m_session.command_running = true;
        m_window.set_commands_enabled(false);
    }
    ~CommandRun()
    {
        if (!m_started)
            return;
        m_session.command_running = false;
        m_window.set_commands_enabled(true);
    }
    CommandRun(const CommandRun&) = delete;
    CommandRun& operator=(const CommandRun&) = delete;

    // False when another command is running: the caller returns without doing anything.
    bool started() const { return m_started; }

private:
    QRV_Public& m_session;
    MainView& m_window;
    bool m_started;
};

} // namespace pelmora
