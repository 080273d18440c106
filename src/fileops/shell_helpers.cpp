// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/shell_helpers.h"

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

bool path_exists(FileSystem* files, const QString& path)
{
    if (path.isEmpty() || !files)
        return false;
    if (path.endsWith(QLatin1Char('/')))
        return files->kind(path, true) == PathKind::Folder;
    if (file_name_part(path).startsWith(QLatin1Char('.')))
        return false;
    const PathKind kind = files->kind(path, false);
    return kind == PathKind::Link || kind == PathKind::File;
}

bool shell_copy_or_move(Shell* shell, FileSystem* files, QString& src, const QString& dst, int func,
                        TransferReport* report)
{
    if (src.isEmpty() || dst.isEmpty() || !path_exists(files, src))
        return false;
    if (src.endsWith(QLatin1Char('/')))
        src.chop(1);
    return shell && shell->transfer(src, dst, func, report);
}

int shell_delete(Shell* shell, const QStringList& paths, bool permanent,
                 QList<TrashedFile>* trashed)
{
    if (!shell)
        return -1;
    return shell->remove(paths, permanent, trashed);
}

} // namespace pelmora
