// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/result_cache.h"

#include "base/native_path.h"

namespace pelmora {

QString list_key(const QString& root, const QString& docType)
{
    return root + QLatin1Char('|') + docType.left(1);
}

QString HitList::name_text(std::size_t i) const
{
    return native_path::from_native(name(i));
}

QString HitList::folder_text(std::size_t i) const
{
    return native_path::from_native(folder(i));
}

std::uint32_t HitList::add_folder(std::string_view folder)
{
    m_folders.emplace_back(folder);
    return std::uint32_t(m_folders.size() - 1);
}

void HitList::add(std::string_view name, std::uint32_t folder)
{
    if (m_pages.empty() || m_pages.back()->ends.size() >= kPageHits ||
        folder < m_pages.back()->folderBase) {
        m_pages.push_back(std::make_unique<Page>());
        m_pageStart.push_back(m_size);
    }
    Page& p = *m_pages.back();
    p.names.append(name);
    p.ends.push_back(std::uint32_t(p.names.size()));
    p.folders.push_back(folder - p.folderBase);
    ++m_size;
    if (p.ends.size() == kPageHits) {
        // A full page keeps exactly what it holds.
        p.names.shrink_to_fit();
        p.ends.shrink_to_fit();
        p.folders.shrink_to_fit();
    }
}

void HitList::append(HitList&& other)
{
    const auto folderBase = std::uint32_t(m_folders.size());
    for (std::string& f : other.m_folders)
        m_folders.push_back(std::move(f));
    if (other.size() < kCopyBelow) {
        for (std::size_t i = 0; i < other.size(); ++i)
            add(other.name(i), folderBase + other.folder_index(i));
    } else {
        for (std::unique_ptr<Page>& p : other.m_pages) {
            p->folderBase += folderBase;
            m_pageStart.push_back(m_size);
            m_size += p->ends.size();
            m_pages.push_back(std::move(p));
        }
    }
    other = HitList();
}

void HitList::squeeze()
{
    for (const std::unique_ptr<Page>& p : m_pages) {
        p->names.shrink_to_fit();
        p->ends.shrink_to_fit();
        p->folders.shrink_to_fit();
    }
    m_pages.shrink_to_fit();
    m_pageStart.shrink_to_fit();
    m_folders.shrink_to_fit();
}

bool ResultCache::has_cached_list(const QString& key) const
{
    const HitList* l = find(key);
    return l && !l->empty() && !l->name_text(0).trimmed().isEmpty();
}

qsizetype ResultCache::count(const QString& key) const
{
    const HitList* l = find(key);
    return l ? qsizetype(l->size()) : 0;
}

const HitList* ResultCache::find(const QString& key) const
{
    const auto it = m_lists.constFind(key);
    return it == m_lists.constEnd() ? nullptr : it.value().get();
}

std::shared_ptr<const HitList> ResultCache::shared(const QString& key) const
{
    return m_lists.value(key);
}

std::shared_ptr<HitList> ResultCache::list_for(const QString& key)
{
    std::shared_ptr<HitList>& l = m_lists[key];
    if (!l)
        l = std::make_shared<HitList>();
    return l;
}

void ResultCache::append(const QString& key, HitList&& hits)
{
    list_for(key)->append(std::move(hits));
}

void ResultCache::clear(const QString& key)
{
    m_lists.remove(key);
}

} // namespace pelmora
