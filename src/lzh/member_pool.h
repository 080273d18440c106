// SPDX-License-Identifier: GPL-3.0-or-later
// Compressing members on worker threads ahead of the archive writer.
#pragma once

#include "lzh/member_writer.h"
#include "lzh/source_files.h"
#include "lzh/worker_threads.h"

#include <QString>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <vector>

namespace pelmora {

// Compresses members on worker threads, ahead of the thread that writes the
// archive, each into a buffer of its own. The writer takes them in archive
// order, and a member's bytes depend on its file alone, so the archive comes
// out the same whatever the number of threads. Members claimed by the
// workers but not yet taken are bounded in size (one at a time when a single
// member is over the bound), so memory stays bounded too. Going out of scope
// lets the workers finish the member they are on and waits for them.
class MemberPool final
{
public:
    struct Compressed
    {
        MemberFailure failure = MemberFailure::None;
        WrittenMember member;
        QString why;
        std::vector<std::uint8_t> bytes; // header and data
    };

    // `jobs` are the files to compress, in the order the writer takes them;
    // `sizes` their sizes as last seen (for the bound).
    MemberPool(std::vector<SourceFile> jobs, std::vector<std::uint64_t> sizes, unsigned threads);
    MemberPool(const MemberPool&) = delete;
    MemberPool& operator=(const MemberPool&) = delete;

    // Waits for job `index` and hands over its result; jobs are taken in order.
    Compressed take(std::size_t index);

private:
    void work(const std::stop_token& stop);
    bool claimable() const;

    std::vector<SourceFile> m_jobs;
    std::vector<std::uint64_t> m_sizes;
    std::vector<Compressed> m_results;
    std::vector<bool> m_done;
    std::mutex m_mutex;
    std::condition_variable_any m_changed;
    std::size_t m_next = 0;       // first job not yet claimed
    std::uint64_t m_inFlight = 0; // bytes of claimed jobs not yet taken
    WorkerThreads m_workers;      // last: stops before the rest goes
};

} // namespace pelmora
