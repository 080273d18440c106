// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/folder_walker.h"

#include "catalogue/folder_read_ahead.h"

#include <algorithm>

namespace pelmora {

FolderWalker::FolderWalker(FolderEnumerator& enumerator, const QString& suffixFilter,
                           WalkSink& sink, const std::atomic<bool>* cancel, int readers)
    : m_enumerator(enumerator), m_matcher(suffixFilter), m_sink(sink), m_cancel(cancel),
      m_readers(readers)
{}

void FolderWalker::walk_folder(const std::string& rawFolder)
{
    if (cancelled())
        return;
    const int bound = m_enumerator.reader_bound();
    const int readers = bound > 0 ? std::min(m_readers, bound) : m_readers;
    FolderReadAhead folders(m_enumerator, readers, kMaxReadAhead, m_cancel, &m_wanted);
    const std::shared_ptr<FolderNode> root = folders.root(with_backslash(rawFolder));
    walk(folders, *root);
    m_mostReaders = folders.most_working();
}

bool FolderWalker::WantedEntries::keep(std::string_view name, std::uint32_t attributes) const
{
    if (counts_as_folder(attributes))
        return walked_subfolder(name, attributes);
    return m_matcher.matches(trim_at_nul(name));
}

void FolderWalker::walk(FolderReadAhead& folders, FolderNode& node)
{
    if (cancelled())
        return;
    folders.take(node);
    m_sink.folder_started(node.path);
    if (node.result == ListResult::Ok) {
        std::size_t next = 0; // the node of the next subfolder entry
        for (const FolderEntry& entry : node.entries) {
            if (cancelled())
                break;
            if (counts_as_folder(entry.attributes)) {
                if (walked_subfolder(entry)) {
                    // Walked, then let go: only the folders on the way down stay in memory.
                    const std::shared_ptr<FolderNode> sub = std::move(node.subfolders[next++]);
                    walk(folders, *sub);
                }
                continue;
            }
            const std::string_view name = trim_at_nul(std::string_view(entry.name));
            if (m_matcher.matches(name))
                m_sink.add_hit(name, node.path);
        }
    }
    node.entries = {};
    m_sink.folder_ended();
}

} // namespace pelmora
