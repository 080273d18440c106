// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/folder_read_ahead.h"

#include "catalogue/walker_text.h"

#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>

namespace pelmora {
namespace {

using namespace std::chrono_literals;

// A read that took longer than this (beside what its entries cost in memory) waited for the
// disk. Reads from memory take a few microseconds on the slowest machines we run on.
constexpr auto kSlowRead = 50us;
constexpr auto kPerEntryInMemory = 250ns;
// Slow reads outnumbering fast ones by this much set the whole pool to work; the other way
// round, the pool goes back to one reader per core.
constexpr int kVotesToSwitch = 4;
constexpr int kVotesBound = 8;
// With the whole pool at work for this many reads, it steps back to one reader per core for
// a while: the reads themselves may have slowed only because too many readers shared the
// processors.
constexpr std::size_t kReadsBetweenProbes = 4096;

} // namespace

FolderReadAhead::FolderReadAhead(FolderEnumerator& enumerator, int readers, std::size_t maxAhead,
                                 const std::atomic<bool>* cancel, const EntryFilter* filter)
    : m_enumerator(enumerator), m_maxAhead(std::max<std::size_t>(1, maxAhead)), m_cancel(cancel),
      m_filter(filter), m_sleepers(std::size_t(std::max(readers, 0)))
{
    const int pool = std::max(readers, 0);
    m_working = std::min(pool, readers_for_memory());
    m_idle.reserve(std::size_t(pool));
    for (int i = 0; i < pool; ++i)
        m_readers.emplace_back([this, i] { reader_loop(i); });
}

FolderReadAhead::~FolderReadAhead()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
        m_pending.clear();
        for (Sleeper& s : m_sleepers) {
            s.woken = true;
            s.wake.notify_one();
        }
    }
    for (std::thread& t : m_readers)
        t.join();
}

void lower_thread_priority()
{
    // The scan yields the processor to the window: a click never waits for the scan. Relative
    // to the process, so a scan started at a lowered priority keeps its readers below it.
    const auto tid = static_cast<id_t>(gettid());
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, tid);
    if (errno == 0)
        setpriority(PRIO_PROCESS, tid, std::min(current + kScanNice, 19));
}

int FolderReadAhead::default_readers()
{
    return 32;
}

int FolderReadAhead::readers_for_memory()
{
    return std::max(2, int(std::thread::hardware_concurrency()));
}

bool FolderReadAhead::stopping() const
{
    return m_stop || (m_cancel && m_cancel->load(std::memory_order_relaxed));
}

std::shared_ptr<FolderNode> FolderReadAhead::root(const std::string& path)
{
    auto node = std::make_shared<FolderNode>();
    node->path = path;
    return node;
}

void FolderReadAhead::read(FolderNode& node)
{
    OpenFolderRef self;
    node.result =
        m_enumerator.read_folder(node.parent, node.name, node.path, node.entries, &self, m_filter);
    node.parent.reset();
    if (node.result != ListResult::Ok)
        return;
    for (const FolderEntry& e : node.entries) {
        if (!walked_subfolder(e))
            continue;
        auto child = std::make_shared<FolderNode>();
        child->name = std::string(trim_at_nul(std::string_view(e.name)));
        child->path.reserve(node.path.size() + child->name.size() + 1);
        child->path.append(node.path).append(child->name).push_back(kFolderSeparator);
        child->parent = self;
        child->place.reserve(node.place.size() + 1);
        child->place.append(node.place).push_back(std::uint32_t(node.subfolders.size()));
        node.subfolders.push_back(std::move(child));
    }
}

void FolderReadAhead::judge_read(const FolderNode& node, Clock::duration took, std::uint64_t epoch)
{
    if (m_readers.empty() || epoch != m_epoch)
        return; // no pool, or read while another number of readers worked
    const bool slow = took > kSlowRead + kPerEntryInMemory * node.entries.size();
    m_slowVotes = std::clamp(m_slowVotes + (slow ? 1 : -1), -kVotesBound, kVotesBound);
    const int pool = int(m_readers.size());
    if (m_working < pool) {
        if (m_slowVotes >= kVotesToSwitch)
            set_working(pool);
    } else if (m_slowVotes <= -kVotesToSwitch || ++m_readsSinceProbe >= kReadsBetweenProbes) {
        set_working(std::min(pool, readers_for_memory()));
    }
}

void FolderReadAhead::set_working(int readers)
{
    const int before = m_working;
    m_working = readers;
    m_slowVotes = 0;
    m_readsSinceProbe = 0;
    ++m_epoch;
    if (readers > before)
        wake_readers(m_pending.size());
}

void FolderReadAhead::wake_readers(std::size_t count)
{
    // The latest to fall asleep first: its stack and caches are the warmest.
    for (auto it = m_idle.end(); it != m_idle.begin() && count > 0;) {
        --it;
        if (*it >= m_working)
            continue;
        Sleeper& s = m_sleepers[std::size_t(*it)];
        s.woken = true;
        s.wake.notify_one();
        it = m_idle.erase(it);
        --count;
    }
}

void FolderReadAhead::finish(FolderNode& node, Clock::duration took, std::uint64_t epoch)
{
    node.state = FolderNode::State::Read;
    ++m_ahead;
    judge_read(node, took, epoch);
    if (!m_readers.empty() && !m_stop && !node.subfolders.empty()) {
        for (const std::shared_ptr<FolderNode>& sub : node.subfolders)
            m_pending.insert(sub);
        // A wake-up costs more than a folder read from memory: only as many as there is
        // new work for.
        if (m_ahead < m_maxAhead)
            wake_readers(node.subfolders.size());
    }
    if (m_walkWaits)
        m_finished.notify_all();
}

void FolderReadAhead::take(FolderNode& node)
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (node.state == FolderNode::State::Pending) {
            read_here(node, lock);
            break;
        }
        if (node.state == FolderNode::State::Read)
            break;
        // A reader is at it. Rather than sleep until it is done (a hand-over per folder costs
        // more than a folder read from memory), read the next folder the walk will want.
        if (!read_next_pending(lock)) {
            m_walkWaits = true;
            m_finished.wait(lock, [&node] { return node.state == FolderNode::State::Read; });
            m_walkWaits = false;
            break;
        }
    }
    if (m_ahead-- == m_maxAhead)
        wake_readers(1); // readers paused for the limit may go on
}

void FolderReadAhead::read_here(FolderNode& node, std::unique_lock<std::mutex>& lock)
{
    node.state = FolderNode::State::Reading;
    const std::uint64_t epoch = m_epoch;
    lock.unlock();
    const Clock::time_point start = Clock::now();
    read(node);
    const Clock::duration took = Clock::now() - start;
    lock.lock();
    finish(node, took, epoch);
}

bool FolderReadAhead::read_next_pending(std::unique_lock<std::mutex>& lock)
{
    while (m_ahead < m_maxAhead && !m_pending.empty() && !stopping()) {
        const std::shared_ptr<FolderNode> node = *m_pending.begin();
        m_pending.erase(m_pending.begin());
        if (node->state != FolderNode::State::Pending)
            continue; // the walk got there first
        read_here(*node, lock);
        return true;
    }
    return false;
}

void FolderReadAhead::reader_loop(int index)
{
    lower_thread_priority();
    Sleeper& sleeper = m_sleepers[std::size_t(index)];
    std::unique_lock lock(m_mutex);
    for (;;) {
        while (index < m_working && read_next_pending(lock)) {
        }
        if (stopping())
            return;
        sleeper.woken = false;
        m_idle.push_back(index);
        sleeper.wake.wait(lock, [this, &sleeper] { return sleeper.woken || stopping(); });
        if (!sleeper.woken) // stopping: still listed as idle, which no longer matters
            return;
    }
}

} // namespace pelmora
