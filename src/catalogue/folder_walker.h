// Lists every file of the current document type in a folder and all its subfolders.
#pragma once

#include "catalogue/walker_text.h"
#include "platform/folder_enumerator.h"

#include <QString>
#include <atomic>
#include <string>

namespace pelmora {

class WalkSink
{
public:
    virtual ~WalkSink() = default;
    virtual void folder_started(const std::string& folder) = 0;
    virtual void folder_ended() = 0;
    // name: bare file name; folder: the folder path with its trailing separator.
    virtual void add_hit(const QString& name, const QString& folder) = 0;
};

class FolderWalker final
{
public:
    FolderWalker(FolderEnumerator& enumerator, const QString& suffixFilter, WalkSink& sink,
                 const std::atomic<bool>* cancel = nullptr);

    // Walks depth first, in the order the file system returns the entries: the hits of a
    // subfolder come where that subfolder's entry stands in its parent. Each folder is read
    // completely and closed before its subfolders are walked, so one folder is open at a time.
    void walk_folder(const std::string& folder);

    bool cancelled() const { return m_cancel && m_cancel->load(std::memory_order_relaxed); }

private:
    FolderEnumerator& m_enumerator;
    SuffixMatcher m_matcher;
    WalkSink& m_sink;
    const std::atomic<bool>* m_cancel;
};

// The folder test of the walker: clear the four lowest attribute bits; the entry is a folder
// exactly when what remains is the directory bit alone.
inline bool counts_as_folder(std::uint32_t attributes)
{
    return (attributes & ~0xFu) == attr::Directory;
}

} // namespace pelmora
