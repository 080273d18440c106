#include "fileops/shell_helpers.h"

#include "platform/shell.h"

#include <QFileInfo>

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
    const QFileInfo info(path);
    if (path.endsWith(QLatin1Char('/')))
        return info.isDir();
    return info.isFile() && !info.fileName().startsWith(QLatin1Char('.'));
}

bool shell_copy_or_move(Shell* shell, QString& src, const QString& dst, int func, int flags)
{
    if (src.isEmpty() || dst.isEmpty() || !path_exists(src))
        return false;
    if (src.endsWith(QLatin1Char('/')))
        src.chop(1);
    return shell && shell->transfer(src, dst, func, flags);
}

int shell_delete(Shell* shell, const QStringList& paths, bool permanent, QStringList* trashed_to)
{
    if (!shell)
        return -1;
    return shell->remove(paths, permanent, trashed_to);
}

} // namespace pelmora
