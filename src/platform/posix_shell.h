// The shell layer on a POSIX file system: copies through a temporary file in the destination
// folder, renames within a file system, and uses the freedesktop trash.
#pragma once

#include "platform/shell.h"

#include <functional>

namespace pelmora {

class MessageBoxes;

class PosixShell final : public Shell
{
public:
    using RenameFn = std::function<int(const char* from, const char* to)>;
    // Copies up to this size never show progress.
    static constexpr qint64 kProgressThreshold = qint64(4) * 1024 * 1024;

    PosixShell(MessageBoxes& messages, CopyProgressFactory* progress);

    bool transfer(const QString& src, const QString& dst, int func, int flags) override;
    int remove(const QStringList& paths, bool permanent, QStringList* trashed_to) override;

    // Lets tests stand in a rename that fails as across file systems.
    void set_rename(RenameFn fn) { m_rename = std::move(fn); }

private:
    bool copy_file(const QString& src, const QString& dst);
    bool ask_replace(const QString& src, const QString& dst);

    MessageBoxes& m_messages;
    CopyProgressFactory* m_progress;
    RenameFn m_rename;
};

// The question texts, shared with the tests.
QString replace_question(const QString& dst);
QString trash_question(const QStringList& paths);

} // namespace pelmora
