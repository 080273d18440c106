// SPDX-License-Identifier: GPL-3.0-or-later
// Folder enumeration on Linux: getdents64 with the entry's own type, so a scan costs no stat
// per file and no more than open, read and close per folder. Subfolders are opened relative
// to their parent's descriptor, so neither depth nor path length is limited and the kernel
// looks up one name per folder, not the whole path. Never follows symbolic links, never
// enters a mount point below the root.
#pragma once

#include "ports/folder_enumerator.h"

#include <set>

namespace pelmora {

// Mount points listed in a mountinfo text (the fifth field, octal escapes decoded).
std::set<std::string> mount_points_from_mountinfo(const std::string& text);

// The reader bound for a file system of this statfs type: kLocalReaders on a local one,
// none of its own (0) on a network share or a FUSE file system, where reads wait far longer.
inline constexpr int kLocalReaders = 64;
int reader_bound_for(long fsType);

class PosixFolderEnumerator final : public FolderEnumerator
{
public:
    explicit PosixFolderEnumerator(std::string root);
    // For tests: the mount points to treat as other file systems.
    PosixFolderEnumerator(std::string root, const std::set<std::string>& mountPoints);

    ListResult list_folder(const std::string& path, std::vector<FolderEntry>& out) override;
    ListResult read_folder(const OpenFolderRef& parent, std::string_view name,
                           const std::string& path, std::vector<FolderEntry>& out,
                           OpenFolderRef* keep, const EntryFilter* filter = nullptr) override;
    int reader_bound() const override { return m_readerBound; }

private:
    bool is_other_mount(const std::string& folder) const;

    std::string m_root;
    bool m_rootValid = false;
    int m_readerBound = 0;
    std::set<std::string> m_mountsBelowRoot; // without trailing "/"
};

class PosixFolderEnumeratorFactory final : public FolderEnumeratorFactory
{
public:
    std::unique_ptr<FolderEnumerator> for_root(const std::string& root) override
    {
        return std::make_unique<PosixFolderEnumerator>(root);
    }
};

} // namespace pelmora
