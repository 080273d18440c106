// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/lh5_segments.h"

#include "lzh/huffman_code.h"
#include "lzh/lzss_matcher.h"

#include <algorithm>

namespace pelmora {
namespace {

SymbolCosts costsOf(const BlockFrequencies& freq)
{
    SymbolCosts costs;
    const HuffmanCode c = HuffmanCode::build(freq.c);
    const HuffmanCode p = HuffmanCode::build(freq.p);
    std::copy(c.lengths().begin(), c.lengths().end(), costs.c.begin());
    std::copy(p.lengths().begin(), p.lengths().end(), costs.p.begin());
    return costs;
}

} // namespace

Lh5Blocks parse_segment(std::span<const std::uint8_t> data, std::size_t primed)
{
    LzssMatcher matcher(data, primed);
    // Until the first piece is parsed, literals are priced by how often each
    // byte occurs in the segment and matches as symbols not yet in use: a
    // parse that starts out taking every match can settle on short matches,
    // whose offsets cost more than the literals they save.
    {
        BlockFrequencies bytes;
        for (std::size_t i = primed; i < data.size(); ++i)
            ++bytes.c[data[i]];
        matcher.set_costs(costsOf(bytes));
    }
    BlockGrouper grouper;
    Lh5Blocks blocks;
    std::vector<lh5::Token> piece;
    piece.reserve(BlockGrouper::kPieceTokens);
    while (!matcher.done()) {
        piece.clear();
        matcher.parse(piece, BlockGrouper::kPieceTokens);
        grouper.add(piece, blocks);
        matcher.set_costs(costsOf(grouper.counts()));
    }
    grouper.finish(blocks);
    return blocks;
}

SegmentPool::SegmentPool(unsigned threads)
    : m_workers(threads, [this](const std::stop_token& stop) { work(stop); })
{}

void SegmentPool::submit(std::vector<std::uint8_t> data, std::size_t primed)
{
    auto job = std::make_unique<Job>();
    job->data = std::move(data);
    job->primed = primed;
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_changed.notify_all();
}

std::size_t SegmentPool::pending() const
{
    const std::lock_guard lock(m_mutex);
    return m_jobs.size();
}

void SegmentPool::work(const std::stop_token& stop)
{
    for (;;) {
        Job* job = nullptr;
        {
            std::unique_lock lock(m_mutex);
            auto next = [&] {
                const auto it = std::find_if(m_jobs.begin(), m_jobs.end(),
                                             [](const auto& j) { return !j->started; });
                return it == m_jobs.end() ? nullptr : it->get();
            };
            m_changed.wait(lock, stop, [&] { return next() != nullptr; });
            if (stop.stop_requested())
                return;
            job = next();
            job->started = true;
        }
        // The job stays in the queue, at the same address, until it is taken
        // back, and that waits for `done`.
        Lh5Blocks blocks = parse_segment(job->data, job->primed);
        {
            const std::lock_guard lock(m_mutex);
            job->blocks = std::move(blocks);
            job->done = true;
        }
        m_changed.notify_all();
    }
}

Lh5Blocks SegmentPool::take_oldest()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_jobs.front()->done; });
    Lh5Blocks blocks = std::move(m_jobs.front()->blocks);
    m_jobs.pop_front();
    return blocks;
}

} // namespace pelmora
