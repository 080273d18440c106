// The remembered result of each scan, one pair of lists per root and document type:
// file names and, at the same index, their folders, in the order the scan found them.
#pragma once

#include "app/session/doc_type.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace pelmora {

// The cache key of a root and type: the root path followed by the type letter.
QString list_key(const QString& root, const QString& docType);
inline QString list_key(const QString& root, DocType docType)
{
    return list_key(root, docType.letter());
}

struct CachedList
{
    QStringList names;
    QStringList dirs;
};

class ResultCache final
{
public:
    // A key has a cached list when its first name is not blank.
    bool has_cached_list(const QString& key) const;
    qsizetype count(const QString& key) const;
    const CachedList* find(const QString& key) const;

    void append(const QString& key, const QString& name, const QString& dir);
    // Makes the key's lists empty again (before a rescan, or after a cancelled one).
    void clear(const QString& key);
    void clear_all() { m_lists.clear(); }

private:
    QHash<QString, CachedList> m_lists;
};

} // namespace pelmora
