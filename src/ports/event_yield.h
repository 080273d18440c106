// SPDX-License-Identifier: GPL-3.0-or-later
// "Let pending window events run": the handlers call this at the fixed points where the
// design lets other events in.
#pragma once

#include <chrono>

namespace pelmora {

class EventYield
{
public:
    // How often a loop over many files lets events in.
    static constexpr std::chrono::milliseconds kLoopInterval{8};

    virtual ~EventYield() = default;
    virtual void process_pending() = 0;

    // For a loop that works file by file: lets events run at its first call and then once
    // kLoopInterval has passed since events last ran here, so the window stays live without a
    // pass through the event loop (a time slice under load) for every file.
    void process_pending_in_loop()
    {
        const auto now = std::chrono::steady_clock::now();
        if (m_loop_ran && now - m_loop_last < kLoopInterval)
            return;
        process_pending();
        m_loop_ran = true;
        m_loop_last = std::chrono::steady_clock::now();
    }

private:
    bool m_loop_ran = false;
    std::chrono::steady_clock::time_point m_loop_last;
};

} // namespace pelmora
