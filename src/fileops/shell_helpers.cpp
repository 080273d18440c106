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

Path file_name_part(const Path& path)
{
    return path.ends_with_separator() ? Path() : Path(path.name());
}

bool path_exists(FileSystem* files, const Path& path)
{
    if (path.is_empty() || !files)
        return false;
    if (path.ends_with_separator())
        return files->kind(path, true) == PathKind::Folder;
    if (path.name().startsWith(QLatin1Char('.')))
        return false;
    const PathKind kind = files->kind(path, false);
    return kind == PathKind::Link || kind == PathKind::File;
}

bool shell_copy_or_move(Shell* shell, FileSystem* files, Path& src, const Path& dst, int func,
                        TransferReport* report)
{
    if (src.is_empty() || dst.is_empty() || !path_exists(files, src))
        return false;
    src = src.without_separator_at_end();
    return shell && shell->transfer(src, dst, func, report);
}

int shell_delete(Shell* shell, const PathList& paths, bool permanent, QList<TrashedFile>* trashed)
{
    if (!shell)
        return -1;
    return shell->remove(paths, permanent, trashed);
}

} // namespace pelmora
