// SPDX-License-Identifier: GPL-3.0-or-later
// The list file naming the files to archive.
#pragma once

#include <QByteArray>
#include <QList>

namespace pelmora {

struct ListFile
{
    enum class Status { Ok, Unreadable, Malformed };

    Status status = Status::Ok;
    QList<QByteArray> entries; // the file system's exact bytes, in file order
    int badLine = 0;           // 1-based, when Malformed
};

// Reads a list file: one path per CR LF line in the file system's own bytes
// (no conversion), a path holding a space or a comma wrapped in double quotes
// (nothing is escaped); empty lines name nothing. `path` is exact bytes too.
ListFile read_list_file(const QByteArray& path);

// The list-file rules on text already in memory.
ListFile parse_list_text(const QByteArray& bytes);

} // namespace pelmora
