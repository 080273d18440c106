// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/folder_read_ahead.h"

#include "catalogue/walker_text.h"

#include <algorithm>
#include <cerrno>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace pelmora {
namespace {

using namespace std::chrono_literals;

// A read that took longer than this (beside what its entries cost in memory) may have waited
// for the disk. Reads from memory take a few microseconds on the slowest machines we run on.
constexpr auto kSlowRead = 50us;
constexpr auto kPerEntryInMemory = 250ns;
constexpr auto kFarRead = 2ms;
// Slow reads outnumbering fast ones by this much make the reads check whether they sleep.
// Finding out costs two system calls per read, as much as a folder read from the page cache,
// so reads are measured only then and while the pool is grown (a sample of them, see
// kMeasuredReaders). Each time slow reads turn out not to sleep (other programs held the
// processors), twice as many votes are needed the next time, kMaxFalseAlarms times at most.
constexpr int kVotesToMeasure = 4;
constexpr int kMaxFalseAlarms = 4;
// Measured reads judged at once: at least this many, and at least a quarter of the working
// readers. Fewer, and one read that met a lock would grow the pool of a scan in memory.
constexpr int kWindow = 4;
// A grown pool measures about this many of its readers' reads at a time.
constexpr int kMeasuredReaders = 16;
constexpr int kFarVotesBound = 8;

int votes_needed(int falseAlarms)
{
    return kVotesToMeasure << falseAlarms;
}

} // namespace

FolderReadAhead::FolderReadAhead(FolderEnumerator& enumerator, int readers, std::size_t maxAhead,
                                 const std::atomic<bool>* cancel, const EntryFilter* filter)
    : m_enumerator(enumerator), m_bound(std::max(readers, 0)),
      m_base(std::min(m_bound, readers_for_memory())),
      m_maxAhead(std::max<std::size_t>(1, maxAhead)), m_cancel(cancel), m_filter(filter),
      m_sleepers(std::size_t(m_bound))
{
    m_idle.reserve(std::size_t(m_bound));
    m_readers.reserve(std::size_t(m_bound));
    // The first reads are measured: a slow share is found after a handful of them.
    const std::lock_guard lock(m_mutex);
    set_working(m_base, m_bound > m_base);
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
    // No reader starts once m_stop is set.
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

long thread_sleeps()
{
    rusage usage{};
    if (getrusage(RUSAGE_THREAD, &usage) != 0)
        return 0;
    return usage.ru_nvcsw;
}

int FolderReadAhead::default_readers()
{
    return 256;
}

int FolderReadAhead::readers_for_memory()
{
    // The processors this process may run on (taskset, a cpuset), not all that are online.
    cpu_set_t set;
    CPU_ZERO(&set);
    const int usable = ::sched_getaffinity(0, sizeof set, &set) == 0
                           ? CPU_COUNT(&set)
                           : int(std::thread::hardware_concurrency());
    return std::max(2, usable);
}

int FolderReadAhead::most_working() const
{
    const std::lock_guard lock(m_mutex);
    return m_mostWorking;
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

void FolderReadAhead::read(FolderNode& node, std::size_t budget, ReadCosts& costs)
{
    using Kind = WalkLog::Kind;
    struct Level // a folder open on the way down
    {
        OpenFolderRef self;
        std::vector<FolderEntry> entries;
        std::size_t next = 0;         // the next entry to look at
        std::size_t pathSize = 0;     // of its path
        std::uint32_t position = 0;   // among its parent's walked subfolders
        std::uint32_t subfolders = 0; // walked subfolders met so far
    };
    std::vector<Level> levels;
    levels.reserve(budget > 1 ? 16 : 1);
    levels.emplace_back();
    std::size_t depth = 0;
    // The path of the folder looked at: the node's own until the read goes deeper.
    std::string deeper;
    auto path = [&]() -> const std::string& { return deeper.empty() ? node.path : deeper; };
    // Reads the folder at path() into levels[depth]; true when it is open for its entries to
    // be looked at. The level exists beforehand, so the parent's handle stays where it is.
    auto enter = [&](const OpenFolderRef& parent, std::string_view name, std::uint32_t position) {
        Level& level = levels[depth];
        level.next = 0;
        level.pathSize = path().size();
        level.position = position;
        level.subfolders = 0;
        const Clock::time_point start = Clock::now();
        const ListResult r =
            m_enumerator.read_folder(parent, name, path(), level.entries, &level.self, m_filter);
        const Clock::duration took = Clock::now() - start;
        const bool slow = took > kSlowRead + kPerEntryInMemory * level.entries.size();
        costs.of[costs.count++] = ReadCost{took, slow};
        ++node.folders;
        node.log.add(Kind::Enter, path());
        // A read that waited: the pool judges it now, not after the next few dozen.
        if (slow)
            budget = 0;
        if (r != ListResult::Ok) {
            level.self.reset();
            node.log.add(Kind::Leave, {});
            return false;
        }
        ++depth;
        return true;
    };
    const bool open = enter(node.parent, node.name, 0);
    node.parent.reset();
    if (!open)
        return;
    const std::vector<FolderEntry>& top = levels.front().entries;
    node.log.steps.reserve(top.size() + 2);
    node.log.text.reserve(node.path.size() + 16 * top.size());
    if (budget <= 1)
        node.later.reserve(std::size_t(std::count_if(
            top.begin(), top.end(), [](const auto& e) { return walked_subfolder(e); })));
    while (depth > 0) {
        if (levels[depth - 1].next == levels[depth - 1].entries.size()) {
            Level& done = levels[depth - 1];
            node.log.add(Kind::Leave, {});
            done.self.reset(); // closes the folder unless a later read still needs it
            done.entries.clear();
            if (--depth > 0)
                deeper.resize(levels[depth - 1].pathSize);
            continue;
        }
        if (levels.size() == depth)
            levels.emplace_back(); // before any reference into levels is taken
        Level& level = levels[depth - 1];
        const FolderEntry& e = level.entries[level.next++];
        const std::string_view name = trim_at_nul(std::string_view(e.name));
        if (!counts_as_folder(e.attributes)) {
            node.log.add(Kind::File, name);
            continue;
        }
        if (!walked_subfolder(name, e.attributes))
            continue;
        const std::uint32_t position = level.subfolders++;
        if (node.folders < budget && !(m_cancel && m_cancel->load(std::memory_order_relaxed))) {
            if (deeper.empty())
                deeper = node.path;
            deeper.append(name).push_back(kFolderSeparator);
            if (!enter(level.self, name, position))
                deeper.resize(level.pathSize);
            continue;
        }
        auto child = std::make_shared<FolderNode>();
        child->name = std::string(name);
        child->path.reserve(path().size() + name.size() + 1);
        child->path.append(path()).append(name).push_back(kFolderSeparator);
        child->parent = level.self;
        child->place.reserve(node.place.size() + depth);
        child->place.append(node.place);
        for (std::size_t i = 1; i < depth; ++i)
            child->place.push_back(levels[i].position);
        child->place.push_back(position);
        node.log.steps.push_back(WalkLog::Step{Kind::Later, std::uint32_t(node.later.size()), 0});
        node.later.push_back(std::move(child));
    }
}

void FolderReadAhead::judge_read(const ReadCost& cost, int slept, std::uint64_t epoch)
{
    if (m_bound == 0 || m_stop)
        return; // no pool
    const Clock::duration took = cost.took;
    const bool slow = cost.slow;
    m_farVotes =
        std::clamp(m_farVotes + (took > kFarRead ? 1 : -1), -kFarVotesBound, kFarVotesBound);
    if (slept < 0) {
        if (epoch != m_epoch || m_measure)
            return; // read while another number of readers worked, or no longer needed
        const int needed = votes_needed(m_falseAlarms);
        m_slowVotes = std::clamp(m_slowVotes + (slow ? 1 : -1), -needed, needed);
        if (m_slowVotes >= needed)
            set_working(m_working, true);
        return;
    }
    // Whether a read slept does not depend on how many readers worked beside it: reads begun
    // before the pool last grew count as well, so it grows again within a few reads.
    if (!m_measure)
        return;
    // A quick read that slept met a lock (the allocator's, say), not the disk.
    const bool waited = slept > 0 && slow;
    ++m_windowReads;
    m_windowSlept += int(waited);
    // A read that slept for milliseconds went to a disk or a share: reads that all did so
    // need no fuller window.
    const bool allFar = waited && m_windowSlept == m_windowReads && took > kFarRead;
    if (allFar || m_windowReads >= std::max(kWindow, m_working / 4))
        judge_window();
}

void FolderReadAhead::judge_window()
{
    const bool waiting = 2 * m_windowSlept >= m_windowReads;
    const bool quick = 4 * m_windowSlept < m_windowReads;
    if (waiting) {
        m_falseAlarms = 0;
        // Folders waiting beyond the readers free to take them: as many more readers as
        // there are such folders, at least twice as many as now, within the bound.
        const int idle = m_working - m_inFlight;
        if (m_working < m_bound && std::ptrdiff_t(m_pending.size()) > idle) {
            const std::size_t wanted = std::size_t(m_inFlight) + m_pending.size();
            const int grown = int(std::min<std::size_t>(std::size_t(m_bound), wanted));
            set_working(std::clamp(grown, std::min(m_bound, 2 * m_working), m_bound), true);
            return;
        }
    } else if (quick) {
        // Reads no longer wait (the rest of the tree is in memory, or they never did): one
        // reader per core again, and no more measuring.
        if (m_working <= m_base)
            m_falseAlarms = std::min(m_falseAlarms + 1, kMaxFalseAlarms);
        set_working(m_base, false);
        return;
    }
    m_windowReads = 0;
    m_windowSlept = 0;
}

void FolderReadAhead::set_working(int readers, bool measure)
{
    const int before = m_working;
    m_working = readers;
    m_mostWorking = std::max(m_mostWorking, readers);
    m_measure = measure;
    m_slowVotes = 0;
    m_windowReads = 0;
    m_windowSlept = 0;
    ++m_epoch;
    start_readers();
    if (readers > before)
        wake_readers(m_pending.size());
}

void FolderReadAhead::start_readers()
{
    // Readers start when first needed: a scan of folders in memory starts one per core.
    while (int(m_readers.size()) < m_working && !m_stop) {
        const int index = int(m_readers.size());
        m_readers.emplace_back([this, index] { reader_loop(index); });
    }
}

void FolderReadAhead::follow_demand()
{
    // Grown for reads that wait: each folder found waiting gets a reader at once, not one
    // judgement later, since every read that finishes finds several more.
    const int idle = m_working - m_inFlight;
    if (m_working >= m_bound || std::ptrdiff_t(m_pending.size()) <= idle)
        return;
    const std::size_t wanted = std::size_t(m_inFlight) + m_pending.size();
    m_working = int(std::min<std::size_t>(std::size_t(m_bound), wanted));
    m_mostWorking = std::max(m_mostWorking, m_working);
    start_readers();
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

void FolderReadAhead::finish(FolderNode& node, const ReadCosts& costs, int slept,
                             std::uint64_t epoch)
{
    node.state = FolderNode::State::Read;
    m_ahead += node.folders;
    --m_inFlight;
    if (m_bound > 0 && !m_stop && !node.later.empty()) {
        // Nothing lies between two folders left for later in walk order but their own
        // subfolders, read later still (the read went through everything between them): they
        // go in as one run, below the folders the walk reaches first.
        const auto& first = node.later.front()->place;
        const auto at = std::partition_point(
            m_pending.begin(), m_pending.end(),
            [&first](const std::shared_ptr<FolderNode>& p) { return p->place > first; });
        m_pending.insert(at, node.later.rbegin(), node.later.rend());
        if (m_measure && m_working > m_base)
            follow_demand();
        // A wake-up costs more than a folder read from memory: only as many as there is
        // new work for.
        if (m_ahead < m_maxAhead)
            wake_readers(node.later.size());
    }
    // Only a read of one folder is measured (slept >= 0): a measuring pool reads no more.
    for (std::size_t i = 0; i < costs.count; ++i)
        judge_read(costs.of[i], slept, epoch);
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
        // more than a folder read from memory), read the next folder the walk will want;
        // not while reads take milliseconds (a share far away), where that read would keep
        // the walk from going on long after its own folder is in.
        if ((m_working > m_base && m_farVotes > 0) || !read_next_pending(lock)) {
            m_walkWaits = true;
            m_finished.wait(lock, [&node] { return node.state == FolderNode::State::Read; });
            m_walkWaits = false;
            break;
        }
    }
    const bool full = m_ahead >= m_maxAhead;
    m_ahead -= node.folders; // finish counted them in
    if (full && m_ahead < m_maxAhead)
        wake_readers(1); // readers paused for the limit may go on
}

void FolderReadAhead::read_here(FolderNode& node, std::unique_lock<std::mutex>& lock)
{
    node.state = FolderNode::State::Reading;
    ++m_inFlight;
    const std::uint64_t epoch = m_epoch;
    const unsigned sampleEvery = unsigned(std::max(1, m_working / kMeasuredReaders));
    const bool measure = m_measure && m_readsSeen++ % sampleEvery == 0;
    // Reads that wait are each judged, and a grown pool shares them out: one folder a read.
    const std::size_t room = m_maxAhead > m_ahead ? m_maxAhead - m_ahead : 1;
    const std::size_t budget =
        m_measure || m_working > m_base ? 1 : std::min(kFoldersPerRead, room);
    lock.unlock();
    ReadCosts costs;
    const long sleepsBefore = measure ? thread_sleeps() : 0;
    read(node, budget, costs);
    const int slept = measure ? int(thread_sleeps() > sleepsBefore) : -1;
    lock.lock();
    finish(node, costs, slept, epoch);
}

bool FolderReadAhead::read_next_pending(std::unique_lock<std::mutex>& lock)
{
    while (m_ahead < m_maxAhead && !m_pending.empty() && !stopping()) {
        const std::shared_ptr<FolderNode> node = std::move(m_pending.back());
        m_pending.pop_back();
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
