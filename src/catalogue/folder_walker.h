// SPDX-License-Identifier: GPL-3.0-or-later
// Lists every file of the current document type in a folder and all its subfolders.
#pragma once

#include "catalogue/walker_text.h"
#include "ports/folder_enumerator.h"

#include <QString>
#include <atomic>
#include <deque>
#include <string>
#include <string_view>

namespace pelmora {

struct FolderNode;
class FolderReadAhead;

class WalkSink
{
public:
    virtual ~WalkSink() = default;
    virtual void folder_started(const std::string& folder) = 0;
    virtual void folder_ended() = 0;
    // name: bare file name; folder: the folder path with its trailing separator. Both are
    // the file system's exact bytes.
    virtual void add_hit(std::string_view name, const std::string& folder) = 0;
};

class FolderWalker final
{
public:
    // readers: threads that read folders ahead of the walk (0: one folder at a time).
    FolderWalker(FolderEnumerator& enumerator, const QString& suffixFilter, WalkSink& sink,
                 const std::atomic<bool>* cancel = nullptr, int readers = 0);

    // Walks depth first, in the order the file system returns the entries: the hits of a
    // subfolder come where that subfolder's entry stands in its parent. Reading ahead never
    // changes this order.
    void walk_folder(const std::string& folder);

    // The most readers that worked at once in the last walk.
    int most_readers() const { return m_mostReaders; }

    bool cancelled() const { return m_cancel && m_cancel->load(std::memory_order_relaxed); }

    // Folders read but not yet walked, at most.
    static constexpr std::size_t kMaxReadAhead = 4096;

private:
    // The entries the walk looks at: folders to enter and files that match.
    class WantedEntries final : public EntryFilter
    {
    public:
        explicit WantedEntries(const SuffixMatcher& matcher) : m_matcher(matcher) {}
        bool keep(std::string_view name, std::uint32_t attributes) const override;

    private:
        const SuffixMatcher& m_matcher;
    };

    void walk(FolderReadAhead& folders, FolderNode& node);

    FolderEnumerator& m_enumerator;
    SuffixMatcher m_matcher;
    WantedEntries m_wanted{m_matcher};
    WalkSink& m_sink;
    const std::atomic<bool>* m_cancel;
    int m_readers;
    int m_mostReaders = 0;
    // The paths of the folders the walk is in, outermost first; a deque, so a deeper folder
    // never moves the path of one still open.
    std::deque<std::string> m_paths;
    std::size_t m_open = 0;
};

} // namespace pelmora
