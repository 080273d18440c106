// SPDX-License-Identifier: GPL-3.0-or-later
// The remembered result of each scan, one list per root and document type: file names and
// their folders, in the order the scan found them, as the file system's exact bytes.
#pragma once

#include "session/doc_type.h"

#include <QHash>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// The cache key of a root and type: the root path followed by the type letter.
QString list_key(const QString& root, const QString& docType);
inline QString list_key(const QString& root, DocType docType)
{
    return list_key(root, docType.letter());
}

// Hits stored compactly: names in pages of up to a few thousand hits, each folder once per
// run of hits. A batch of hits joins a list by handing over its pages, never by copying.
class HitList final
{
public:
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }

    std::string_view name(std::size_t i) const
    {
        const auto [p, slot] = locate(i);
        const std::uint32_t begin = slot == 0 ? 0 : p->ends[slot - 1];
        return std::string_view(p->names).substr(begin, p->ends[slot] - begin);
    }
    std::uint32_t folder_index(std::size_t i) const
    {
        const auto [p, slot] = locate(i);
        return p->folderBase + p->folders[slot];
    }
    std::string_view folder(std::size_t i) const { return m_folders[folder_index(i)]; }
    std::size_t folder_count() const { return m_folders.size(); }
    std::string_view folder_at(std::uint32_t f) const { return m_folders[f]; }

    // The texts of a hit, keeping every byte (see native_path).
    QString name_text(std::size_t i) const;
    QString folder_text(std::size_t i) const;

    // Adds a folder and returns its index for add(); hits of one folder share it.
    std::uint32_t add_folder(std::string_view folder);
    void add(std::string_view name, std::uint32_t folder);
    // Takes over the hits of other (left empty): its pages join this list as they are.
    void append(HitList&& other);
    // Gives back the spare capacity once the list is complete.
    void squeeze();

private:
    static constexpr std::size_t kPageHits = 4096;
    // Batches smaller than this are copied into the last page rather than adding a page.
    static constexpr std::size_t kCopyBelow = 512;
    struct Page
    {
        std::string names;
        std::vector<std::uint32_t> ends;    // end of each name in names
        std::vector<std::uint32_t> folders; // folder of each hit, less folderBase
        std::uint32_t folderBase = 0;
    };
    std::pair<const Page*, std::size_t> locate(std::size_t i) const
    {
        const auto it = std::upper_bound(m_pageStart.begin(), m_pageStart.end(), i) - 1;
        const auto page = std::size_t(it - m_pageStart.begin());
        return {m_pages[page].get(), i - *it};
    }

    std::vector<std::unique_ptr<Page>> m_pages;
    std::vector<std::size_t> m_pageStart; // index of each page's first hit
    std::size_t m_size = 0;
    std::deque<std::string> m_folders;
};

class ResultCache final
{
public:
    // A key has a cached list when its first name is not blank.
    bool has_cached_list(const QString& key) const;
    qsizetype count(const QString& key) const;
    const HitList* find(const QString& key) const;
    std::shared_ptr<const HitList> shared(const QString& key) const;

    // The key's list, created empty when missing; a scan appends its hits to it.
    std::shared_ptr<HitList> list_for(const QString& key);
    void append(const QString& key, HitList&& hits);
    // Makes the key's lists empty again (before a rescan, or after a cancelled one).
    void clear(const QString& key);
    void clear_all() { m_lists.clear(); }

private:
    QHash<QString, std::shared_ptr<HitList>> m_lists;
};

} // namespace pelmora
