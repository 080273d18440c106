#pragma once

#include <QString>
#include <QStringList>

namespace pelmora {

struct ListFile
{
    enum class Status { Ok, Unreadable, Malformed };

    Status status = Status::Ok;
    QStringList entries; // in file order; empty lines name nothing
    int badLine = 0;     // 1-based, when Malformed
};

// Reads a list file: UTF-8, one entry per CR LF line, an entry holding a
// space or a comma wrapped in double quotes (nothing is escaped).
ListFile readListFile(const QString& path);

// The list-file rules on text already in memory.
ListFile parseListText(const QByteArray& bytes);

} // namespace pelmora
