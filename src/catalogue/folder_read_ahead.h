// SPDX-License-Identifier: GPL-3.0-or-later
// Folders read ahead of the walk by a pool of reader threads. The walk still takes them one
// by one in its own order; the pool only makes sure a folder is usually read by the time the
// walk gets there, so a cold disk (or a network mount) serves several reads at once.
// Readers always take the unread folder the walk will reach first.
// How many readers work follows what the reads cost: while folders come from memory, one per
// core (more would only queue for the processors). Once reads take long, the readers check
// whether they sleep in the kernel waiting for the disk or the network (a read merely held
// up by other programs on the processors does not): while they do and folders are waiting
// to be read, the pool grows, up to its bound, since a slow disk or a far share answers many
// queued reads in the time of one. When reads stop waiting, it goes back to one per core.
// While folders come from memory, one read goes on into the folder's subfolders, a few dozen
// folders depth first: handing each folder over between threads would cost more than reading
// it. Subfolders are opened relative to their parent, which stays open only until its last
// subfolder has been opened. The number of folders read but not yet walked is bounded.
#pragma once

#include "ports/folder_enumerator.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace pelmora {

// Reader threads run this much nicer than the process, just below the window's thread and
// the walk, so a click is served first; a step more would leave the readers waiting behind
// every other program on a busy machine, and the second core to others.
inline constexpr int kScanNice = 1;
// Lowers the calling thread by kScanNice.
void lower_thread_priority();
// How often the calling thread has slept in the kernel (waited for a disk, the network or a
// lock) since it started.
long thread_sleeps();

// What the walk reports for a folder read ahead and for the subfolders read with it, in walk
// order: the walk replays it without looking at the entries again.
struct WalkLog
{
    enum class Kind : std::uint8_t {
        Enter, // a folder begins: text is its whole path
        File,  // a file the filter kept: text is its name
        Later, // a subfolder read on its own: index into FolderNode::later
        Leave, // the folder entered last ends
    };
    struct Step
    {
        Kind kind;
        std::uint32_t at;   // Later: the index; otherwise where its text begins
        std::uint32_t size; // the length of its text
    };
    std::vector<Step> steps;
    std::string text;

    void add(Kind kind, std::string_view s)
    {
        steps.push_back(Step{kind, std::uint32_t(text.size()), std::uint32_t(s.size())});
        text.append(s);
    }
    std::string_view text_of(const Step& step) const
    {
        return std::string_view(text).substr(step.at, step.size);
    }
};

struct FolderNode
{
    std::string path; // the whole path, ending with "/"
    std::string name; // its name in the parent (empty for the root)
    OpenFolderRef parent;
    WalkLog log;
    // The subfolders the read left for later reads, in walk order.
    std::vector<std::shared_ptr<FolderNode>> later;
    std::size_t folders = 0; // folders the read covered: this one and those read with it

    // Its place in the walk: the positions of the subfolders leading here. Readers take the
    // pending folder the walk reaches first.
    std::basic_string<std::uint32_t> place;

    enum class State { Pending, Reading, Read };
    State state = State::Pending; // guarded by the read-ahead's mutex
};

class FolderReadAhead final
{
public:
    // readers: the most threads reading ahead (0: the walk reads every folder itself); they
    // are started as the pool grows.
    // maxAhead: folders read and not yet taken by the walk before the readers pause.
    // filter: the entries the walk wants (all when null).
    FolderReadAhead(FolderEnumerator& enumerator, int readers, std::size_t maxAhead,
                    const std::atomic<bool>* cancel, const EntryFilter* filter = nullptr);
    ~FolderReadAhead();
    FolderReadAhead(const FolderReadAhead&) = delete;
    FolderReadAhead& operator=(const FolderReadAhead&) = delete;

    std::shared_ptr<FolderNode> root(const std::string& path);
    // Waits until the folder is read, reading it here when no reader has taken it yet.
    void take(FolderNode& node);

    // The default bound of the pool: enough for a share far away.
    static int default_readers();
    // Readers working while folders come from memory.
    static int readers_for_memory();

    // The most readers that were at work at once.
    int most_working() const;

private:
    using Clock = std::chrono::steady_clock;
    // The most folders one read covers while folders come from memory.
    static constexpr std::size_t kFoldersPerRead = 64;
    struct ReadCost
    {
        Clock::duration took;
        bool slow; // longer than its kept entries cost in memory: it may have waited
    };
    struct ReadCosts // one per folder read
    {
        std::array<ReadCost, kFoldersPerRead> of; // the first count are set
        std::size_t count = 0;
    };
    // Reads the node's folder and, up to budget folders in all (at most kFoldersPerRead) and
    // while reads stay quick, its subfolders depth first, into the node's log. The subfolders
    // left become nodes of their own, to be read later.
    void read(FolderNode& node, std::size_t budget, ReadCosts& costs);
    // slept: whether the read slept in the kernel; -1 when that was not measured.
    void finish(FolderNode& node, const ReadCosts& costs, int slept, std::uint64_t epoch);
    void judge_read(const ReadCost& cost, int slept, std::uint64_t epoch);
    void judge_window();
    void set_working(int readers, bool measure);
    void start_readers();
    // While grown for reads that wait: as many readers as folders in flight and waiting.
    void follow_demand();
    void wake_readers(std::size_t count);
    void reader_loop(int index);
    // Reads the node here; the lock is let go while the folder is read.
    void read_here(FolderNode& node, std::unique_lock<std::mutex>& lock);
    // Reads the pending folder the walk reaches first, if any may be read now.
    bool read_next_pending(std::unique_lock<std::mutex>& lock);
    bool stopping() const;

    FolderEnumerator& m_enumerator;
    const int m_bound; // the most readers
    const int m_base;  // readers while folders come from memory
    const std::size_t m_maxAhead;
    const std::atomic<bool>* m_cancel;
    const EntryFilter* m_filter;
    mutable std::mutex m_mutex;
    std::condition_variable m_finished; // the walk waits here
    // Folders found and not yet taken by a reader, the one the walk reaches first last: new
    // subfolders mostly go on top, so neither an insertion nor a removal allocates a node.
    // Folders the walk read itself stay until a reader drops them.
    std::vector<std::shared_ptr<FolderNode>> m_pending;
    std::size_t m_ahead = 0;
    // Each reader sleeps on its own condition, so a wake-up reaches a reader allowed to work.
    struct Sleeper
    {
        std::condition_variable wake;
        bool woken = false;
    };
    std::vector<Sleeper> m_sleepers;
    std::vector<int> m_idle; // readers asleep, the latest last
    int m_working = 0;       // readers 0 .. m_working-1 take folders
    int m_mostWorking = 0;
    int m_inFlight = 0;       // folders being read, by readers or the walk
    int m_slowVotes = 0;      // slow reads minus fast ones, within bounds
    int m_falseAlarms = 0;    // slow reads found not to wait: each needs more votes next time
    bool m_measure = false;   // reads count their sleeps in the kernel
    int m_windowReads = 0;    // reads measured since the last judgement
    int m_windowSlept = 0;    // of which slept
    unsigned m_readsSeen = 0; // reads begun while measuring: a grown pool measures a sample
    int m_farVotes = 0;       // reads that took milliseconds minus quicker ones, within bounds
    // Counts changes of m_working and m_measure: reads begun before are not judged.
    std::uint64_t m_epoch = 0;
    bool m_walkWaits = false; // the walk waits for a folder a reader is reading
    bool m_stop = false;
    std::vector<std::thread> m_readers;
};

} // namespace pelmora
