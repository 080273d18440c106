// SPDX-License-Identifier: GPL-3.0-or-later
// A group of worker threads that stop together.
#pragma once

#include <stop_token>
#include <thread>
#include <vector>

namespace pelmora {

// Threads that each run `work(stop)` until it returns. Going out of scope asks
// all of them to stop at once, then waits for each; `work` sees the request
// through its token (a condition_variable_any wait with it wakes up). Declare
// it after everything the work uses, so that it goes first.
class WorkerThreads final
{
public:
    template <typename Work> WorkerThreads(unsigned count, Work work)
    {
        m_threads.reserve(count);
        for (unsigned i = 0; i < count; ++i)
            m_threads.emplace_back([work, stop = m_stop.get_token()] { work(stop); });
    }
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;
    ~WorkerThreads()
    {
        m_stop.request_stop();
        m_threads.clear(); // joins
    }

private:
    std::stop_source m_stop;
    std::vector<std::jthread> m_threads;
};

} // namespace pelmora
