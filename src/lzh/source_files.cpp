#include "lzh/source_files.h"

#include <QDir>
#include <QFileInfo>
#include <set>

namespace pelmora {

std::string storedPathFor(const QString& absolutePath, const QString& base)
{
    QString path = QDir::cleanPath(absolutePath);
    QString root = base;
    root.replace(u'\\', u'/');
    root = root.isEmpty() ? QString() : QDir::cleanPath(root);
    if (!root.isEmpty() && root != u"/" && path.startsWith(root + u'/'))
        path = path.mid(root.size() + 1);
    while (path.startsWith(u'/'))
        path.remove(0, 1);
    return path.toStdString();
}

SourceList collectSources(const QStringList& entries, const QString& base)
{
    SourceList list;
    std::set<std::string> seen;
    for (const QString& entry : entries) {
        const QFileInfo info(entry);
        auto failWith = [&](SourceList::Status s) {
            list.status = s;
            list.offending = entry;
            list.files.clear();
            return list;
        };
        if (!info.exists() || !info.isFile())
            return failWith(SourceList::Status::Missing);
        if (!info.isReadable())
            return failWith(SourceList::Status::Unreadable);
        // Level-2 headers carry 32-bit sizes.
        if (info.size() > 0xFFFFFFFFll)
            return failWith(SourceList::Status::TooLarge);
        const QString abs = info.absoluteFilePath();
        std::string stored = storedPathFor(abs, base);
        if (seen.insert(stored).second)
            list.files.push_back({abs, std::move(stored)});
    }
    return list;
}

} // namespace pelmora
