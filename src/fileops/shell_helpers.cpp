// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/shell_helpers.h"

#include "platform/long_path.h"
#include "platform/native_path.h"

#include <sys/stat.h>

namespace pelmora {

QString quote_if_needed(const QString& text)
{
    if (text.contains(QLatin1Char(',')) || text.contains(QLatin1Char(' ')))
        return QLatin1Char('"') + text + QLatin1Char('"');
    return text;
}

QString trimmed_with_backslash(const QString& path)
{
    QString s = path;
    while (s.endsWith(QLatin1Char(' ')))
        s.chop(1);
    if (!s.endsWith(QLatin1Char('/')))
        s += QLatin1Char('/');
    return s;
}

void file_name_part(const QString& path, QString& name)
{
    name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString file_name_part(const QString& path)
{
    QString name;
    file_name_part(path, name);
    return name;
}

bool path_exists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QByteArray bytes = native_path::to_native(path);
    struct stat st
    {};
    if (path.endsWith(QLatin1Char('/')))
        return posix::stat_path(bytes, st, true) && S_ISDIR(st.st_mode);
    if (file_name_part(path).startsWith(QLatin1Char('.')) || !posix::stat_path(bytes, st, false))
        return false;
    if (S_ISLNK(st.st_mode))
        return true;
    return S_ISREG(st.st_mode);
}

bool shell_copy_or_move(Shell* shell, QString& src, const QString& dst, int func, int flags,
                        TransferReport* report)
{
    if (src.isEmpty() || dst.isEmpty() || !path_exists(src))
        return false;
    if (src.endsWith(QLatin1Char('/')))
        src.chop(1);
    return shell && shell->transfer(src, dst, func, flags, report);
}

int shell_delete(Shell* shell, const QStringList& paths, bool permanent,
                 QList<TrashedFile>* trashed)
{
    if (!shell)
        return -1;
    return shell->remove(paths, permanent, trashed);
}

} // namespace pelmora
