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
    const std::size_t outer = m_open;
    for (const WalkLog::Step& step : node.log.steps) {
        if (cancelled())
            break;
        switch (step.kind) {
        case WalkLog::Kind::Enter: {
            // The sink may keep the path until the folder ends: one string per depth.
            if (m_open == m_paths.size())
                m_paths.emplace_back();
            std::string& path = m_paths[m_open++];
            path.assign(node.log.text_of(step));
            m_sink.folder_started(path);
            break;
        }
        case WalkLog::Kind::File:
            if (const std::string_view name = node.log.text_of(step); m_matcher.matches(name))
                m_sink.add_hit(name, m_paths[m_open - 1]);
            break;
        case WalkLog::Kind::Later: {
            // Walked, then let go: only the folders on the way down stay in memory.
            const std::shared_ptr<FolderNode> sub = std::move(node.later[step.at]);
            walk(folders, *sub);
            break;
        }
        case WalkLog::Kind::Leave:
            --m_open;
            m_sink.folder_ended();
            break;
        }
    }
    for (; m_open > outer; --m_open)
        m_sink.folder_ended(); // cancelled: what began ends
    node.log = {};
}

} // namespace pelmora
