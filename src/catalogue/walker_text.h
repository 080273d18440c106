// SPDX-License-Identifier: GPL-3.0-or-later
// The small text rules of the folder walker.
#pragma once

#include "ports/folder_enumerator.h"

#include <QString>
#include <string>
#include <string_view>

namespace pelmora {

inline constexpr char kFolderSeparator = '/';

// Appends the folder separator unless the path already ends with one ("" becomes "/").
std::string with_backslash(std::string path);
QString with_backslash(QString path);

// Everything after the first dot; empty when there is none or the name begins with it.
// The first dot, not the last: "a.b.xls" has the suffix "b.xls".
std::string_view file_suffix(std::string_view name);
QString file_suffix(const QString& name);

// The text in front of the first NUL character.
QString trim_at_nul(const QString& text);
std::string_view trim_at_nul(std::string_view text);

// The walker's hit test: the upper-cased suffix equals the upper-cased filter text.
class SuffixMatcher final
{
public:
    explicit SuffixMatcher(const QString& filter);
    bool matches(std::string_view name) const;

private:
    std::string m_upperAscii; // fast path for ASCII suffixes
    QString m_upper;
};

// The folder test of the walker: clear the four lowest attribute bits; the entry is a folder
// exactly when what remains is the directory bit alone.
inline bool counts_as_folder(std::uint32_t attributes)
{
    return (attributes & ~0xFu) == attr::Directory;
}

// A folder entry the walker enters: it counts as a folder and its name does not begin with
// a dot (which also leaves out "." and "..").
inline bool walked_subfolder(std::string_view name, std::uint32_t attributes)
{
    name = trim_at_nul(name);
    return counts_as_folder(attributes) && !name.empty() && name.front() != '.';
}
inline bool walked_subfolder(const FolderEntry& entry)
{
    return walked_subfolder(entry.name, entry.attributes);
}

} // namespace pelmora
