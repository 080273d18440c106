// Folder enumeration on POSIX file systems: readdir with the entry's own type, so a scan
// costs no stat per file. Never follows symbolic links, never leaves the root's file system.
#pragma once

#include "platform/folder_enumerator.h"

#include <sys/types.h>

namespace pelmora {

class PosixFolderEnumerator final : public FolderEnumerator
{
public:
    explicit PosixFolderEnumerator(std::string root);
    ListResult list_folder(const std::string& path, std::vector<FolderEntry>& out) override;

private:
    std::string m_root;
    dev_t m_rootDevice = 0;
    bool m_rootValid = false;
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
