#include "catalogue/folder_read_ahead.h"

#include "catalogue/walker_text.h"

#include <algorithm>
#include <sys/resource.h>
#include <unistd.h>

namespace pelmora {

FolderReadAhead::FolderReadAhead(FolderEnumerator& enumerator, int readers, std::size_t maxAhead,
                                 const std::atomic<bool>* cancel)
    : m_enumerator(enumerator), m_maxAhead(std::max<std::size_t>(1, maxAhead)), m_cancel(cancel)
{
    for (int i = 0; i < readers; ++i)
        m_readers.emplace_back([this] { reader_loop(); });
}

FolderReadAhead::~FolderReadAhead()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
        m_pending.clear();
    }
    m_work.notify_all();
    for (std::thread& t : m_readers)
        t.join();
}

void lower_thread_priority()
{
    // The scan yields the processor to the window: a click never waits for the scan.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kScanNice);
}

int FolderReadAhead::default_readers()
{
    return 8;
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
    node.result = m_enumerator.read_folder(node.parent, node.name, node.path, node.entries, &self);
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

void FolderReadAhead::finish(FolderNode& node)
{
    node.state = FolderNode::State::Read;
    ++m_ahead;
    if (!m_readers.empty() && !m_stop && !node.subfolders.empty()) {
        for (const std::shared_ptr<FolderNode>& sub : node.subfolders)
            m_pending.insert(sub);
        // Wake-ups cost more than a warm folder read: only idle readers are woken.
        if (m_idleReaders > 0)
            m_work.notify_all();
    }
    if (m_walkWaits)
        m_finished.notify_all();
}

void FolderReadAhead::take(FolderNode& node)
{
    std::unique_lock lock(m_mutex);
    if (node.state == FolderNode::State::Pending) {
        node.state = FolderNode::State::Reading;
        lock.unlock();
        read(node);
        lock.lock();
        finish(node);
    } else if (node.state != FolderNode::State::Read) {
        m_walkWaits = true;
        m_finished.wait(lock, [&node] { return node.state == FolderNode::State::Read; });
        m_walkWaits = false;
    }
    if (m_ahead-- == m_maxAhead && m_idleReaders > 0)
        m_work.notify_all(); // readers paused for the limit may go on
}

void FolderReadAhead::reader_loop()
{
    lower_thread_priority();
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_idleReaders;
        m_work.wait(lock,
                    [this] { return stopping() || (m_ahead < m_maxAhead && !m_pending.empty()); });
        --m_idleReaders;
        if (stopping())
            return;
        const std::shared_ptr<FolderNode> node = *m_pending.begin();
        m_pending.erase(m_pending.begin());
        if (node->state != FolderNode::State::Pending)
            continue; // the walk got there first
        node->state = FolderNode::State::Reading;
        lock.unlock();
        read(*node);
        lock.lock();
        finish(*node);
    }
}

} // namespace pelmora
