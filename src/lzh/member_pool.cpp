// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/member_pool.h"

#include "lzh/member_output.h"

namespace pelmora {
namespace {

// Input bytes the workers may hold compressed but not yet written.
constexpr std::uint64_t kInFlightBytes = std::uint64_t{48} << 20;

} // namespace

MemberPool::MemberPool(std::vector<SourceFile> jobs, std::vector<std::uint64_t> sizes,
                       unsigned threads)
    : m_jobs(std::move(jobs)), m_sizes(std::move(sizes)), m_results(m_jobs.size()),
      m_done(m_jobs.size(), false),
      m_workers(threads, [this](const std::stop_token& stop) { work(stop); })
{}

bool MemberPool::claimable() const
{
    return m_next < m_jobs.size() &&
           (m_inFlight == 0 || m_inFlight + m_sizes[m_next] <= kInFlightBytes);
}

void MemberPool::work(const std::stop_token& stop)
{
    for (;;) {
        std::size_t index = 0;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, stop, [&] { return m_next == m_jobs.size() || claimable(); });
            if (stop.stop_requested() || m_next == m_jobs.size())
                return;
            index = m_next++;
            m_inFlight += m_sizes[index];
        }
        Compressed result;
        MemoryOutput out;
        result.failure = write_member(out, m_jobs[index], result.member, result.why);
        result.bytes = out.take();
        {
            const std::lock_guard lock(m_mutex);
            m_results[index] = std::move(result);
            m_done[index] = true;
        }
        m_changed.notify_all();
    }
}

MemberPool::Compressed MemberPool::take(std::size_t index)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_done[index]; });
    Compressed result = std::move(m_results[index]);
    m_inFlight -= m_sizes[index];
    lock.unlock();
    m_changed.notify_all();
    return result;
}

} // namespace pelmora
