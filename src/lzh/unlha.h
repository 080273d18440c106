// SPDX-License-Identifier: GPL-3.0-or-later
// The Unlha() entry point of the archiver and its result codes.
#pragma once

#include <QtGlobal>
#include <cstdint>

namespace pelmora {

// Result of Unlha(): 0 on success, otherwise what kind of failure stopped it.
// Every failure leaves an existing archive exactly as it was.
enum class UnlhaResult : int {
    Ok = 0,
    BadCommandLine = 1,      // missing or malformed tokens, unknown switch
    UnsupportedCommand = 2,  // only "u" is implemented
    ListFileUnreadable = 3,  // the "@" file cannot be opened or read
    ListFileMalformed = 4,   // a line breaks the list format
    NothingToAdd = 5,        // the list names no file
    SourceMissing = 6,       // a listed file does not exist or is not a regular file
    SourceUnreadable = 7,    // a listed file exists but cannot be read
    SourceTooLarge = 8,      // a listed file is 4 GiB or larger
    ArchiveDamaged = 9,      // the existing archive does not read cleanly to its end
    ArchiveWriteFailed = 10, // the new archive could not be written or put in place
    UnstorableName = 11,     // a listed path is neither UTF-8 nor CP932
    PathTooLong = 12         // a listed path has a name longer than the file system allows
};

// Archiver entry point with the calling convention of the archiver DLL our
// compression command was written against:
//   u <switches> <archive> <base folder> @<list file>
// Paths in `commandLine` and in the list file are the file system's exact
// bytes (no conversion), quoted when they hold a space or a comma; the list
// file has one path per CR LF line.
// The report (Japanese, UTF-8) goes to `outputBuffer`, always NUL-terminated
// and never longer than `bufferSize` bytes. `owner` is accepted for
// compatibility; no window is ever shown. Returns an UnlhaResult as int.
int Unlha(quintptr owner, const char* commandLine, char* outputBuffer, std::uint32_t bufferSize);

// The same command on an archive its caller opened: the existing archive is read from `from`
// (-1 when there is none) and the whole new archive written into `into`, an empty file, from
// its start; the archive on the command line only names it in the report. Nothing is
// renamed, synced or removed: putting the new archive in place is the caller's.
int UnlhaInto(const char* commandLine, int from, int into, char* outputBuffer,
              std::uint32_t bufferSize);

} // namespace pelmora
