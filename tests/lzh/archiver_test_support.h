// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "lzh/lzh_header_reader.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>
#include <string>
#include <vector>

namespace pelmora::test {

// Our caller's quoting: wrap in double quotes when the text holds a space or a comma.
QString quoteIfNeeded(const QString& text);

// A list file exactly as the compression command writes it: one quoted-if-needed
// entry per CR LF line, then one more CR LF.
QByteArray listFileText(const QStringList& entries);
bool writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
// The members of an archive as the reader sees them; none when it cannot be read.
std::vector<ExistingMember> membersOf(const QString& archive);

// The command line the compression command builds for "u" with an empty base.
QByteArray updateCommandLine(const QString& archive, const QString& listFile);

struct UnlhaCall
{
    int code = -1;
    QString report;
};
UnlhaCall callUnlha(const QByteArray& commandLine);

// Writes the list file `listPath` for `files` and runs "u" on `archive`.
UnlhaCall updateWith(const QString& archive, const QString& listPath, const QStringList& files);

// The member name our archiver gives a file: its whole path below "/".
QString storedName(const QString& absolutePath);

// An external LZH reader from Debian: lhasa, bsdtar, 7z or unar.
struct Reader
{
    QString name;
    QString program; // extracts; empty when not installed
    QString tester;  // tests (lsar for unar)
};
Reader reader(const QString& name);
// Every reader the archives are checked with, lhasa first.
const QStringList& readerNames();

// Runs the reader's test of every member (data and CRC); returns its
// complaint, empty on success.
QString testArchive(const Reader& r, const QString& archive);

// Extracts `archive` into the empty folder `into`; returns the reader's
// complaint, empty on success.
QString extract(const Reader& r, const QString& archive, const QString& into);

// Compares the files under `root` with `expected` (relative path -> bytes):
// same set of files, same bytes. Returns a description of the first difference.
QString compareTree(const QString& root, const std::map<QString, QByteArray>& expected);

// Tests and extracts with every installed reader and compares; lhasa is required.
// Returns the first failure, empty when all agree. `checked` lists the readers used.
QString checkWithReaders(const QString& archive, const std::map<QString, QByteArray>& expected,
                         const QString& scratch, QStringList& checked);

// Files in `dir` other than those named in `keep` (temporary leftovers).
QStringList strayFiles(const QString& dir, const QStringList& keep);

// Deterministic test data.
QByteArray randomBytes(qsizetype size, std::uint64_t seed);

} // namespace pelmora::test
