// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes.h"

#include <chrono>

namespace pelmora::test {

class FakeEnumerator final : public FolderEnumerator
{
public:
    explicit FakeEnumerator(FakeEnumeratorFactory& f) : m_f(f) {}
    ListResult list_folder(const std::string& path, std::vector<FolderEntry>& out) override
    {
        ++m_f.folders_listed;
        if (!m_f.m_holdAt.empty() && path == m_f.m_holdAt) {
            std::unique_lock lock(m_f.m_mutex);
            m_f.m_held = true;
            m_f.m_cv.notify_all();
            m_f.m_cv.wait(lock, [this] { return m_f.m_released; });
        }
        out.clear();
        const auto* entries = m_f.m_tree.find(path);
        if (!entries)
            return ListResult::Unreadable;
        out = *entries;
        return ListResult::Ok;
    }

private:
    FakeEnumeratorFactory& m_f;
};

std::unique_ptr<FolderEnumerator> FakeEnumeratorFactory::for_root(const std::string& root)
{
    ++roots_opened;
    opened_roots.push_back(root);
    return std::make_unique<FakeEnumerator>(*this);
}

void FakeEnumeratorFactory::release()
{
    std::lock_guard lock(m_mutex);
    m_released = true;
    m_cv.notify_all();
}

bool FakeEnumeratorFactory::wait_until_held(int ms)
{
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_held; });
}

} // namespace pelmora::test
