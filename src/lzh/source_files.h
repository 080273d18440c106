// SPDX-License-Identifier: GPL-3.0-or-later
// Checking the files to archive and giving them member names.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <string>
#include <vector>

namespace pelmora {

struct SourceFile
{
    QByteArray path;        // absolute path, the file system's exact bytes
    std::string storedPath; // member name in the same bytes, '/' between folders
};

struct SourceList
{
    enum class Status { Ok, Missing, Unreadable, TooLarge, BadName, PathTooLong };

    Status status = Status::Ok;
    QByteArray offending; // the entry that failed
    std::vector<SourceFile> files;
};

// `path` made absolute (against the working folder) with "." and ".." parts
// and doubled slashes resolved textually, bytes otherwise untouched.
QByteArray clean_absolute_path(const QByteArray& path);

// The member name of `path`: relative to `base` when the file lies below it,
// otherwise its whole path below "/". An empty base, "\" or "/" means no base.
std::string stored_path_for(const QByteArray& absolutePath, const QByteArray& base);

// Checks every entry before anything is written, so that a bad entry never
// yields a partial archive. A file listed twice is taken once.
SourceList collect_sources(const QList<QByteArray>& entries, const QByteArray& base);

} // namespace pelmora
