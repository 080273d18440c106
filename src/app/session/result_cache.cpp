#include "app/session/result_cache.h"

namespace pelmora {

QString list_key(const QString& root, const QString& docType)
{
    return root + QLatin1Char('|') + docType.left(1);
}

bool ResultCache::has_cached_list(const QString& key) const
{
    const CachedList* l = find(key);
    return l && !l->names.isEmpty() && !l->names.front().trimmed().isEmpty();
}

qsizetype ResultCache::count(const QString& key) const
{
    const CachedList* l = find(key);
    return l ? l->names.size() : 0;
}

const CachedList* ResultCache::find(const QString& key) const
{
    const auto it = m_lists.constFind(key);
    return it == m_lists.constEnd() ? nullptr : &it.value();
}

void ResultCache::append(const QString& key, const QString& name, const QString& dir)
{
    CachedList& l = m_lists[key];
    l.names.append(name);
    l.dirs.append(dir);
}

void ResultCache::clear(const QString& key)
{
    m_lists.remove(key);
}

} // namespace pelmora
