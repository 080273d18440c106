// SPDX-License-Identifier: GPL-3.0-or-later
// Splitting a large member into segments that are parsed on their own.
#pragma once

#include "lzh/lh5_block_grouper.h"
#include "lzh/worker_threads.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <stop_token>
#include <vector>

namespace pelmora {

// A member larger than one segment is parsed segment by segment, each on its
// own: its window starts with the bytes before it, its parse and its blocks
// with nothing carried over. So the segments of a member can be parsed at the
// same time, and the result depends on the input alone.
inline constexpr std::size_t kSegmentBytes = std::size_t{1} << 20;

// Parses `data` after its first `primed` bytes (the window before the
// segment) into blocks, learning the symbol costs from the block being built.
Lh5Blocks parse_segment(std::span<const std::uint8_t> data, std::size_t primed);

// Worker threads that parse segments in the background; the blocks are taken
// back in the order the segments were given. Going out of scope lets the
// workers finish the segment they are on and waits for them.
class SegmentPool final
{
public:
    explicit SegmentPool(unsigned threads);
    SegmentPool(const SegmentPool&) = delete;
    SegmentPool& operator=(const SegmentPool&) = delete;

    void submit(std::vector<std::uint8_t> data, std::size_t primed);
    // Segments given and not yet taken back.
    std::size_t pending() const;
    // Waits for the oldest segment given and hands over its blocks.
    Lh5Blocks take_oldest();

private:
    struct Job
    {
        std::vector<std::uint8_t> data;
        std::size_t primed = 0;
        bool started = false;
        bool done = false;
        Lh5Blocks blocks;
    };

    void work(const std::stop_token& stop);

    mutable std::mutex m_mutex;
    std::condition_variable_any m_changed;
    std::deque<std::unique_ptr<Job>> m_jobs;
    WorkerThreads m_workers; // last: stops before the rest goes
};

} // namespace pelmora
