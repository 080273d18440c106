#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace pelmora {

struct SourceFile
{
    QString path;           // absolute path on disk
    std::string storedPath; // UTF-8 member name, '/' between folders
};

struct SourceList
{
    enum class Status { Ok, Missing, Unreadable, TooLarge };

    Status status = Status::Ok;
    QString offending; // the entry that failed
    std::vector<SourceFile> files;
};

// The member name of `path`: relative to `base` when the file lies below it,
// otherwise its whole path below "/". An empty base, "\" or "/" means no base.
std::string storedPathFor(const QString& absolutePath, const QString& base);

// Checks every entry before anything is written, so that a bad entry never
// yields a partial archive. A file listed twice is taken once.
SourceList collectSources(const QStringList& entries, const QString& base);

} // namespace pelmora
