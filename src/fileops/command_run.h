// SPDX-License-Identifier: GPL-3.0-or-later
// One file command at a time. Commands let window events run while they work (between two
// files, inside the shell's questions), and a menu clicked then would start a second command
// on the same session: it would change the destination, the selection or the journal under
// the first one. Every command starts with a CommandRun; while one is alive, another does
// not start.
#pragma once

#include "fileops/command_env.h"
#include "session/session.h"

namespace pelmora {

class CommandRun final
{
public:
    explicit CommandRun(CommandEnv& env) : m_env(env), m_started(!env.session.command_running)
    {
        if (!m_started)
            return;
        m_env.session.command_running = true;
        if (m_env.set_commands_enabled)
            m_env.set_commands_enabled(false);
    }
    ~CommandRun()
    {
        if (!m_started)
            return;
        m_env.session.command_running = false;
        if (m_env.set_commands_enabled)
            m_env.set_commands_enabled(true);
    }
    CommandRun(const CommandRun&) = delete;
    CommandRun& operator=(const CommandRun&) = delete;

    // False when another command is running: the caller returns without doing anything.
    bool started() const { return m_started; }

private:
    CommandEnv& m_env;
    bool m_started;
};

} // namespace pelmora
