#include "catalogue/result_cache.h"

#include "platform/native_path.h"

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
    m_names.append(name);
    m_nameEnd.push_back(m_names.size());
    m_folderOf.push_back(folder);
}

void HitList::append(const HitList& other)
{
    const std::uint64_t nameBase = m_names.size();
    const auto folderBase = std::uint32_t(m_folders.size());
    m_names.append(other.m_names);
    m_folders.insert(m_folders.end(), other.m_folders.begin(), other.m_folders.end());
    m_nameEnd.reserve(m_nameEnd.size() + other.m_nameEnd.size());
    for (const std::uint64_t end : other.m_nameEnd)
        m_nameEnd.push_back(nameBase + end);
    m_folderOf.reserve(m_folderOf.size() + other.m_folderOf.size());
    for (const std::uint32_t f : other.m_folderOf)
        m_folderOf.push_back(folderBase + f);
}

void HitList::squeeze()
{
    m_names.shrink_to_fit();
    m_nameEnd.shrink_to_fit();
    m_folderOf.shrink_to_fit();
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

void ResultCache::append(const QString& key, const HitList& hits)
{
    list_for(key)->append(hits);
}

void ResultCache::clear(const QString& key)
{
    m_lists.remove(key);
}

} // namespace pelmora
