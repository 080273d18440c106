// Folders read ahead of the walk by a small pool of reader threads. The walk still takes
// them one by one in its own order; the pool only makes sure a folder is usually read by the
// time the walk gets there, so a cold disk (or a network mount) serves several reads at once.
// Readers always take the unread folder the walk will reach first.
// Subfolders are opened relative to their parent, which stays open only until its last
// subfolder has been opened. The number of folders read but not yet walked is bounded.
#pragma once

#include "platform/folder_enumerator.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace pelmora {

// Reader threads run at this nice value, below the window's thread and the walk: eight busy
// readers on two cores would otherwise hold a click up. The walk itself keeps its priority
// (lowered, it waits behind every other program on a busy machine).
inline constexpr int kScanNice = 10;
// Lowers the calling thread to kScanNice.
void lower_thread_priority();

struct FolderNode
{
    std::string path; // the whole path, ending with "/"
    std::string name; // its name in the parent (empty for the root)
    OpenFolderRef parent;
    ListResult result = ListResult::Unreadable;
    std::vector<FolderEntry> entries;
    // One node per entry the walk enters, in entry order.
    std::vector<std::shared_ptr<FolderNode>> subfolders;

    // Its place in the walk: the positions of the subfolders leading here. Readers take the
    // pending folder the walk reaches first.
    std::basic_string<std::uint32_t> place;

    enum class State { Pending, Reading, Read };
    State state = State::Pending; // guarded by the read-ahead's mutex
};

class FolderReadAhead final
{
public:
    // readers: threads reading ahead (0: the walk reads every folder itself).
    // maxAhead: folders read and not yet taken by the walk before the readers pause.
    FolderReadAhead(FolderEnumerator& enumerator, int readers, std::size_t maxAhead,
                    const std::atomic<bool>* cancel);
    ~FolderReadAhead();
    FolderReadAhead(const FolderReadAhead&) = delete;
    FolderReadAhead& operator=(const FolderReadAhead&) = delete;

    std::shared_ptr<FolderNode> root(const std::string& path);
    // Waits until the folder is read, reading it here when no reader has taken it yet.
    void take(FolderNode& node);

    // Default pool: more threads than cores, since the readers mostly wait for the disk.
    static int default_readers();

private:
    void read(FolderNode& node);
    void finish(FolderNode& node);
    void reader_loop();
    bool stopping() const;

    FolderEnumerator& m_enumerator;
    const std::size_t m_maxAhead;
    const std::atomic<bool>* m_cancel;
    std::mutex m_mutex;
    std::condition_variable m_work;     // readers wait here
    std::condition_variable m_finished; // the walk waits here
    struct WalkOrder
    {
        bool operator()(const std::shared_ptr<FolderNode>& a,
                        const std::shared_ptr<FolderNode>& b) const
        {
            return a->place < b->place;
        }
    };
    std::set<std::shared_ptr<FolderNode>, WalkOrder> m_pending;
    std::size_t m_ahead = 0;
    int m_idleReaders = 0;    // readers waiting for work
    bool m_walkWaits = false; // the walk waits for a folder a reader is reading
    bool m_stop = false;
    std::vector<std::thread> m_readers;
};

} // namespace pelmora
