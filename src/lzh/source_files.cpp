// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/source_files.h"

#include "lzh/at_path.h"
#include "lzh/member_name.h"

#include <cerrno>
#include <set>
#include <sys/stat.h>

namespace pelmora {

QByteArray clean_absolute_path(const QByteArray& path)
{
    QByteArray full = path;
    if (!full.startsWith('/')) {
        std::string cwd(4096, '\0');
        while (::getcwd(cwd.data(), cwd.size()) == nullptr && errno == ERANGE)
            cwd.resize(cwd.size() * 2);
        full = QByteArray(cwd.c_str()) + '/' + full;
    }
    QList<QByteArray> parts;
    for (const QByteArray& part : full.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts << part;
    }
    return '/' + parts.join('/');
}

std::string stored_path_for(const QByteArray& absolutePath, const QByteArray& base)
{
    QByteArray path = clean_absolute_path(absolutePath);
    QByteArray root = base;
    root.replace('\\', '/');
    while (root.endsWith('/'))
        root.chop(1);
    if (!root.isEmpty()) {
        root = clean_absolute_path(root);
        if (root != "/" && path.startsWith(root + '/'))
            path = path.mid(root.size() + 1);
    }
    while (path.startsWith('/'))
        path.remove(0, 1);
    return path.toStdString();
}

SourceList collect_sources(const QList<QByteArray>& entries, const QByteArray& base)
{
    SourceList list;
    std::set<std::string> seen;
    for (const QByteArray& entry : entries) {
        auto failWith = [&](SourceList::Status s) {
            list.status = s;
            list.offending = entry;
            list.files.clear();
            return list;
        };
        struct stat st
        {};
        if (!stat_at_path(entry, st))
            return failWith(errno == ENAMETOOLONG ? SourceList::Status::PathTooLong
                                                  : SourceList::Status::Missing);
        if (!S_ISREG(st.st_mode))
            return failWith(SourceList::Status::Missing);
        if (!readable_at_path(entry))
            return failWith(SourceList::Status::Unreadable);
        // Level-2 headers carry 32-bit sizes.
        if (st.st_size > 0xFFFFFFFFll)
            return failWith(SourceList::Status::TooLarge);
        const QByteArray abs = clean_absolute_path(entry);
        std::string stored = stored_path_for(abs, base);
        // Readers show other bytes each their own way (0xFF, never valid in
        // either, would also split a folder name in the directory header).
        if (encode_member_name(stored).codePage == 0)
            return failWith(SourceList::Status::BadName);
        if (seen.insert(stored).second)
            list.files.push_back({abs, std::move(stored)});
    }
    return list;
}

} // namespace pelmora
