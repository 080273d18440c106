#include "catalogue/folder_walker.h"

#include <vector>

namespace pelmora {

FolderWalker::FolderWalker(FolderEnumerator& enumerator, const QString& suffixFilter,
                           WalkSink& sink, const std::atomic<bool>* cancel)
    : m_enumerator(enumerator), m_matcher(suffixFilter), m_sink(sink), m_cancel(cancel)
{}

void FolderWalker::walk_folder(const std::string& rawFolder)
{
    if (cancelled())
        return;
    const std::string folder = with_backslash(rawFolder);
    std::vector<FolderEntry> entries;
    const ListResult listed = m_enumerator.list_folder(folder, entries);
    m_sink.folder_started(folder);
    if (listed == ListResult::Ok) {
        QString folderText; // converted once, shared by every hit of this folder
        for (const FolderEntry& entry : entries) {
            if (cancelled())
                break;
            const std::string_view name = trim_at_nul(entry.name);
            if (counts_as_folder(entry.attributes)) {
                if (!name.empty() && name.front() != '.')
                    walk_folder(folder + std::string(name) + kFolderSeparator);
                continue;
            }
            if (!m_matcher.matches(name))
                continue;
            if (folderText.isNull())
                folderText = QString::fromStdString(folder);
            m_sink.add_hit(QString::fromUtf8(name.data(), qsizetype(name.size())), folderText);
        }
    }
    m_sink.folder_ended();
}

} // namespace pelmora
