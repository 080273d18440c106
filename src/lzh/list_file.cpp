#include "lzh/list_file.h"

#include <QFile>
#include <QStringDecoder>

namespace pelmora {
namespace {

bool needsQuotes(QStringView s)
{
    return s.contains(u' ') || s.contains(u',');
}

// Undoes the writer's "quote when it holds a space or a comma". A line that
// holds either without being wrapped, or is wrapped without needing it, could
// not have come from that writer, except a name that itself starts and ends
// with a quote, which is kept as it is.
bool unquote(QStringView line, QString& entry)
{
    if (line.size() >= 2 && line.front() == u'"' && line.back() == u'"') {
        const QStringView inner = line.sliced(1, line.size() - 2);
        entry = (needsQuotes(inner) ? inner : line).toString();
        return true;
    }
    if (needsQuotes(line))
        return false;
    entry = line.toString();
    return true;
}

} // namespace

ListFile parseListText(const QByteArray& bytes)
{
    ListFile list;
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decode(bytes);
    if (decode.hasError() || text.contains(QChar(0))) {
        list.status = ListFile::Status::Malformed;
        list.badLine = 1 + static_cast<int>(bytes.left(bytes.indexOf('\0')).count('\n'));
        return list;
    }
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    // split() leaves an empty last piece after the final CR LF; anything else
    // there is a line that was never ended, the mark of a cut-off list.
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        const bool last = i + 1 == lines.size();
        QString entry;
        if ((last && !line.isEmpty()) || line.contains(u'\r') || line.contains(u'\n') ||
            !unquote(line, entry)) {
            list.status = ListFile::Status::Malformed;
            list.badLine = static_cast<int>(i) + 1;
            list.entries.clear();
            return list;
        }
        if (!entry.isEmpty())
            list.entries << entry;
    }
    return list;
}

ListFile readListFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ListFile list;
        list.status = ListFile::Status::Unreadable;
        return list;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        ListFile list;
        list.status = ListFile::Status::Unreadable;
        return list;
    }
    return parseListText(bytes);
}

} // namespace pelmora
