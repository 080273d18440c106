// SPDX-License-Identifier: GPL-3.0-or-later
// File names as the file system stores them, carried in a QString without loss.
//
// Linux file names are bytes; many are not UTF-8 (Shift_JIS names copied from old Windows
// machines). A name is decoded as UTF-8 where it is valid, and every byte that is not part of
// a valid sequence becomes the lone low surrogate U+DC80..U+DCFF (the scheme Python calls
// "surrogateescape"). to_native() reverses this exactly, so the path an operation acts on is
// always the one the scan found. Qt's own file classes would re-encode such a string lossily:
// every system call takes to_native(path), never QFile::encodeName().
#pragma once

#include <QByteArray>
#include <QString>
#include <string_view>

namespace pelmora::native_path {

// Exact bytes -> text that keeps them.
QString from_native(std::string_view bytes);
inline QString from_native(const QByteArray& bytes)
{
    return from_native(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

// Text made by from_native (or any valid text) -> the exact bytes.
QByteArray to_native(const QString& path);

// The exact bytes of the path, made absolute against the current folder when relative:
// what a child process started elsewhere must be given.
QByteArray to_absolute_native(const QString& path);

// True when the path holds bytes that are not UTF-8 (so Qt file classes must not see it).
bool has_raw_bytes(const QString& path);

// What the user reads: each '/'-separated part that is not UTF-8 is shown as Shift_JIS when
// its bytes are valid Shift_JIS (CP932), otherwise with U+FFFD for each stray byte.
QString readable(const QString& path);

} // namespace pelmora::native_path
