// SPDX-License-Identifier: GPL-3.0-or-later
// Folder enumeration for the walker: every entry of one folder with its name and an
// attribute word in the form the walker's rules were written for.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

namespace attr {
inline constexpr std::uint32_t ReadOnly = 0x01; // not writable (reported for folders)
inline constexpr std::uint32_t Hidden = 0x02;   // name begins with "."
inline constexpr std::uint32_t Directory = 0x10;
inline constexpr std::uint32_t Link = 0x400; // symbolic link: never walked
} // namespace attr

struct FolderEntry
{
    std::string name; // raw bytes as the file system stores them
    std::uint32_t attributes = 0;
};

enum class ListResult {
    Ok,
    Unreadable,      // missing, not a folder, or permission denied
    OtherFileSystem, // lies on another file system than the scan's root
};

// Which entries of a folder a reader keeps. A scan wants its folders and its hits, which on a
// drive of millions of files are a small part of the entries: the others are never copied.
class EntryFilter
{
public:
    virtual ~EntryFilter() = default;
    virtual bool keep(std::string_view name, std::uint32_t attributes) const = 0;
};

// A folder left open after it was read, so that its subfolders can be opened relative to it.
// Whoever still has to open a subfolder keeps it; the last holder's release closes it.
class OpenFolder
{
public:
    virtual ~OpenFolder() = default;
};
using OpenFolderRef = std::shared_ptr<const OpenFolder>;

// One enumerator serves one scan; it remembers the root's file system so the scan never
// leaves it. Implementations must be safe to use from several threads at once.
class FolderEnumerator
{
public:
    virtual ~FolderEnumerator() = default;

    // The most readers worth having at once on this file system, or 0 for no bound of its own.
    // A local disk serves a few dozen reads at a time, a share far away many more.
    virtual int reader_bound() const { return 0; }
    // Reads the whole folder (path ends with "/") into out, in the order the file system
    // returns the entries, without "." and "..". Nothing stays open afterwards.
    virtual ListResult list_folder(const std::string& path, std::vector<FolderEntry>& out) = 0;

    // Reads the folder `name` of the open folder `parent` (the root itself when parent is
    // null; path is always the folder's whole path ending with "/"). When the folder has
    // subfolders to open, keep receives a handle they can be opened from. With a filter, out
    // holds only the entries it keeps. The default reads by the whole path.
    virtual ListResult read_folder(const OpenFolderRef& parent, std::string_view name,
                                   const std::string& path, std::vector<FolderEntry>& out,
                                   OpenFolderRef* keep, const EntryFilter* filter = nullptr)
    {
        (void)parent;
        (void)name;
        if (keep)
            keep->reset();
        const ListResult r = list_folder(path, out);
        if (filter) {
            std::erase_if(out, [filter](const FolderEntry& e) {
                return !filter->keep(e.name, e.attributes);
            });
        }
        return r;
    }
};

class FolderEnumeratorFactory
{
public:
    virtual ~FolderEnumeratorFactory() = default;
    virtual std::unique_ptr<FolderEnumerator> for_root(const std::string& root) = 0;
};

} // namespace pelmora
