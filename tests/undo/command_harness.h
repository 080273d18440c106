// SPDX-License-Identifier: GPL-3.0-or-later
// The file-operation and undo commands on the real shell layer and real files, without a
// window: scripted answers, a history log, and hooks where a command lets events run.
#pragma once

#include "backends/posix/posix_archive_files.h"
#include "backends/posix/posix_shell.h"
#include "backends/unlha/unlha_archiver.h"
#include "fakes.h"
#include "fileops/command_env.h"
#include "fileops/compress_command.h"
#include "fileops/copy_move_command.h"
#include "fileops/trash_command.h"
#include "fileops/undo_manager.h"
#include "path_values.h"
#include "raw_file.h"
#include "session/history_log.h"
#include "session/session.h"
#include "test_tree.h"
#include "undo/undo_command.h"

#include <QFile>
#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora::test {

// Runs a hook (once) the next time a command lets window events run.
class HookYield final : public EventYield
{
public:
    void process_pending() override
    {
        ++calls;
        if (hook) {
            auto h = std::move(hook);
            hook = nullptr;
            h();
        }
    }
    std::function<void()> hook;
    int calls = 0;
};

// Files by their exact bytes, for names Qt's file classes cannot carry.
inline bool write_raw(const QByteArray& path, const QByteArray& content)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok =
        ::write(fd, content.constData(), std::size_t(content.size())) == ssize_t(content.size());
    return ::close(fd) == 0 && ok;
}

inline QByteArray read_all(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Rewrites a file in place with a later time stamp, as an editor saving it would.
inline bool edit(const QString& path, const QByteArray& content)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size())
        return false;
    f.close();
    const struct timespec later[2] = {{0, UTIME_NOW}, {::time(nullptr) + 60, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), later, 0) == 0;
}

struct Harness
{
    TestTree tree;
    QRV_Public session;
    FakeClock clock;
    HistoryLog history{clock};
    ScriptedMessageBoxes messages;
    HookYield yield;
    PosixShell shell{messages, nullptr};
    PosixFileSystem files;
    PosixArchiveFiles archive_files;
    UndoManager manager{session.undo, &archive_files};
    UnlhaArchiver unlha;
    Archiver* archiver = &unlha;
    RecordingMainView window;
    bool undoEnabled = false;

    Harness()
    {
        window.single = false;
        QObject::connect(&manager, &UndoManager::available, [this](bool on) { undoEnabled = on; });
    }

    CommandEnv env()
    {
        CommandEnv e{session, history, messages, yield, window, manager};
        e.shell = &shell;
        e.files = &files;
        e.archive_files = &archive_files;
        e.archiver = archiver;
        return e;
    }
    QString p(const QString& rel) const { return tree.path(rel); }

    void mark(const QStringList& rels)
    {
        window.single = false;
        session.sel_marks.clear();
        for (const QString& r : rels)
            session.sel_marks.append(Path(p(r)));
    }
    void transfer(TransferKind kind, const QString& folderRel)
    {
        CommandEnv e = env();
        run_copy_or_move(e, kind, [this, folderRel] {
            session.dlg_cancel = 0;
            session.dest_dir = Path(p(folderRel));
        });
    }
    void compress(const QString& folderRel, const QString& name)
    {
        CommandEnv e = env();
        run_compress(e, [this, folderRel, name] {
            session.dlg_cancel = 0;
            session.dest_dir = Path(p(folderRel));
            session.archive_name = Path(name);
        });
    }
    void undo(MsgAnswer answer = MsgAnswer::Yes)
    {
        messages.answers.append(answer);
        CommandEnv e = env();
        run_undo(e);
    }
    QStringList rows() const
    {
        QStringList out;
        for (qsizetype i = 0; i < history.size(); ++i)
            out.append(history.entry(i).text);
        return out;
    }
    QStringList shown() const
    {
        QStringList out;
        for (const auto& s : messages.shown)
            out.append(s.text);
        return out;
    }
    void forget_output()
    {
        messages.shown.clear();
        history.reset_history_grid();
    }
};

} // namespace pelmora::test
