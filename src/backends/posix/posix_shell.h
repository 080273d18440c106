// SPDX-License-Identifier: GPL-3.0-or-later
// The shell layer on a POSIX file system: renames within a file system, copies through an
// unnamed file (posix_copy.h), keeps replaced files in the freedesktop trash.
#pragma once

#include "backends/posix/freedesktop_trash.h"
#include "backends/posix/posix_copy.h"
#include "backends/posix/posix_file_system.h"
#include "ports/shell.h"

#include <functional>
#include <sys/stat.h>

namespace pelmora {

class MessageBoxes;

class PosixShell final : public Shell
{
public:
    using RenameFn = std::function<int(const char* from, const char* to)>;
    // Copies up to this size never show progress.
    static constexpr qint64 kProgressThreshold = qint64(4) * 1024 * 1024;

    PosixShell(MessageBoxes& messages, CopyProgressFactory* progress);

    using Shell::transfer;
    bool transfer(const QString& src, const QString& dst, int func, int flags,
                  TransferReport* report) override;
    int remove(const QStringList& paths, bool permanent, QList<TrashedFile>* trashed) override;
    bool restore(const TrashedFile& entry) override;
    bool delete_if_unchanged(const QString& path, const FileIdentity& identity) override;
    void begin_command() override;
    bool end_command() override;

    // Lets tests stand in a rename that fails as across file systems. It is called where a
    // move renames its source; it must not replace an existing target.
    void set_rename(RenameFn fn) { m_rename = std::move(fn); }
    // Lets tests stand in an unlink that fails after a copy across file systems.
    void set_unlink(std::function<int(const char*)> fn) { m_unlink = std::move(fn); }
    PosixCopier& copier() { return m_copier; }
    FreedesktopTrash& trash() { return m_trash; }

private:
    bool ask_replace(const QString& dst);
    bool move(const QByteArray& s, const QByteArray& d, const QString& src, const QString& dst,
              bool drop_copy_on_failure);
    bool remove_copied_source(const QByteArray& s, const struct stat& copied);
    PosixCopier::Durability durability() const;

    MessageBoxes& m_messages;
    PosixCopier m_copier;
    FreedesktopTrash m_trash;
    RenameFn m_rename;
    std::function<int(const char*)> m_unlink;
    int m_command_depth = 0;
};

// The question texts, shared with the tests.
QString replace_question(const QString& dst);
QString trash_question(const QStringList& paths);

} // namespace pelmora
