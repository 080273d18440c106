// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/posix/posix_shell.h"

#include "backends/posix/long_path.h"
#include "backends/posix/posix_io.h"
#include "base/crlf.h"
#include "ports/event_yield.h"
#include "ports/message_box.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelmora {

namespace {

using posix::Fd;
using Folder = posix::FolderHandles::Folder;

FileIdentity identity_from(const struct stat& st)
{
    return FileIdentity{true, quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
                        qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

bool same_file(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// True when this process may take file out of folder f: the folder is writable and
// searchable, and its sticky bit does not keep the file for its owner.
bool removable_from(const Folder& f, const struct stat& file)
{
    if (::faccessat(f.fd, ".", W_OK | X_OK, AT_EACCESS) != 0)
        return false;
    if ((f.st.st_mode & S_ISVTX) == 0)
        return true;
    const uid_t me = ::geteuid();
    return me == 0 || file.st_uid == me || f.st.st_uid == me;
}

// Recreates the link that entry holds (st its status) as name in to_dir, on another file
// system, with its times and, where this process may, its owner.
bool copy_link(int entry, const struct stat& st, int to_dir, const char* name, bool keep_owner)
{
    std::vector<char> target(std::size_t(st.st_size > 0 ? st.st_size : 255) + 1);
    const ssize_t n = ::readlinkat(entry, "", target.data(), target.size());
    if (n < 0 || std::size_t(n) >= target.size())
        return false;
    target[std::size_t(n)] = '\0';
    if (::symlinkat(target.data(), to_dir, name) != 0)
        return false;
    if (keep_owner && ::fchownat(to_dir, name, st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW) != 0 &&
        errno != EPERM) {
        ::unlinkat(to_dir, name, 0);
        return false;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(to_dir, name, times, AT_SYMLINK_NOFOLLOW);
    return true;
}

} // namespace

QString replace_question(const Path& dst)
{
    return QStringLiteral("同じ名前のファイル(") + dst.readable() +
           QStringLiteral(")が既にあります") + kCrLf + QStringLiteral("置き換えます") + kCrLf +
           QStringLiteral("よろしいですか");
}

QString trash_question(const PathList& paths)
{
    const QString what =
        paths.size() == 1
            ? QStringLiteral("ファイル(") + paths.front().readable() + QLatin1Char(')')
            : QString::number(paths.size()) + QStringLiteral("個のファイル");
    return what + QStringLiteral("をごみ箱へ移動します") + kCrLf + QStringLiteral("よろしいですか");
}

PosixShell::PosixShell(MessageBoxes& messages, CopyProgressFactory* progress)
    : m_messages(messages), m_copier(progress, kProgressThreshold),
      m_rename(posix::rename_at_no_replace),
      m_unlink([](int dir, const char* name) { return ::unlinkat(dir, name, 0); })
{}

void PosixShell::set_before_act(std::function<void(const QByteArray&)> fn)
{
    m_before_act = fn;
    m_trash.set_before_move(std::move(fn));
}

void PosixShell::begin_command()
{
    if (m_command_depth++ > 0)
        return;
    m_copier.forget_cleared();
    m_command_failed = false;
    m_trash.begin_command(&m_folders, &m_syncs);
}

bool PosixShell::end_command()
{
    if (m_command_depth == 0 || --m_command_depth > 0)
        return true;
    bool ok = finish_moves() && !m_command_failed;
    if (!m_syncs.sync_all()) {
        // Not known to be on disk, so reported as failed: what was renamed goes back, and the
        // files stand where the failure says they are.
        put_back_renamed();
        m_syncs.sync_all();
        ok = false;
    }
    m_renamed.clear();
    m_trash.end_command();
    m_folders.clear();
    m_command_failed = false;
    return ok;
}

void PosixShell::touched(const Folder& f)
{
    m_syncs.add(f.fd, f.st.st_dev);
}

void PosixShell::put_back_renamed()
{
    for (auto e = m_renamed.rbegin(); e != m_renamed.rend(); ++e) {
        if (e->trashed.isValid()) {
            FreedesktopTrash::restore(e->trashed, &m_syncs);
            continue;
        }
        const Folder to = m_folders.get(posix::parent_of(e->to));
        const Folder from = m_folders.get(posix::parent_of(e->from));
        const QByteArray tname = posix::name_of(e->to);
        const QByteArray fname = posix::name_of(e->from);
        // Checked where it went back: another program's file goes where it was found.
        struct stat now
        {};
        if (!to.valid() || !from.valid() ||
            posix::rename_checked(to.fd, tname.constData(), from.fd, fname.constData(), e->st,
                                  now) != posix::CheckedRename::Done)
            continue;
        touched(from);
        touched(to);
        if (e->replaced.isValid())
            FreedesktopTrash::restore(e->replaced, &m_syncs);
    }
}

void PosixShell::yield_in_loop()
{
    if (m_yield)
        m_yield->process_pending_in_loop();
}

bool PosixShell::ask_replace(const Path& dst)
{
    return m_messages.show(replace_question(dst), MsgIcon::Question, MsgButtons::YesNo) ==
           MsgAnswer::Yes;
}

bool PosixShell::transfer(const Path& src, const Path& dst, int func, TransferReport* report)
{
    if (src.is_empty() || dst.is_empty() || (func != FO_COPY && func != FO_MOVE))
        return false;
    ShellCommandScope scope(this);
    m_folders.trim();
    const bool ok = transfer_in_command(src, dst, func, report);
    return scope.finish() && ok;
}

bool PosixShell::transfer_in_command(const Path& src, const Path& dst, int func,
                                     TransferReport* report)
{
    const QByteArray s = src.bytes();
    const QByteArray d = dst.bytes();
    const Folder sdir = m_folders.get(posix::parent_of(s));
    const Folder ddir = m_folders.get(posix::parent_of(d));
    if (!sdir.valid() || !ddir.valid())
        return false;
    const QByteArray sname = posix::name_of(s);
    const QByteArray dname = posix::name_of(d);
    // The file checked: whatever happens below happens to it, or nothing happens. A rename
    // is checked where it lands, a move across file systems holds the entry itself, a copy
    // holds the file it reads; each is compared with this.
    struct stat ss
    {};
    if (::fstatat(sdir.fd, sname.constData(), &ss, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    if (report && report->expected_source.valid &&
        !identity_from(ss).same_file(report->expected_source))
        return false;
    // A copy reads through a link; the file read must be the one checked.
    Fd in;
    struct stat followed = ss;
    struct stat read_st
    {};
    if (func == FO_COPY) {
        in = Fd(::openat(sdir.fd, sname.constData(), O_RDONLY | O_CLOEXEC));
        if (!in.valid() || ::fstat(in.get(), &read_st) != 0 || !S_ISREG(read_st.st_mode) ||
            (!S_ISLNK(ss.st_mode) && !same_file(ss, read_st)))
            return false;
        followed = read_st;
    }

    TrashedFile replaced;
    struct stat ds
    {};
    if (::fstatat(ddir.fd, dname.constData(), &ds, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(ds.st_mode))
            return false;
        const bool has_target = func == FO_COPY || !S_ISLNK(ss.st_mode) ||
                                ::fstatat(sdir.fd, sname.constData(), &followed, 0) == 0;
        if (same_file(ss, ds) || (has_target && same_file(followed, ds)))
            return false;
        // A move must be able to take the source away before anything at dst is touched.
        if (func == FO_MOVE && !removable_from(sdir, ss))
            return false;
        if (!ask_replace(dst))
            return false;
        // The file being replaced is the user's: it goes to the trash, or nothing happens.
        const std::optional<TrashedFile> t = m_trash.trash(dst);
        if (!t)
            return false;
        replaced = *t;
    }

    bool ok = false;
    bool across = false;
    struct stat moved
    {}; // the file at dst after a rename, the one checked
    if (func == FO_COPY) {
        if (m_before_act)
            m_before_act(s);
        ok = m_copier.copy(in.get(), read_st, ddir, dname, src, dst,
                           PosixCopier::Durability::Deferred);
        if (ok)
            touched(ddir);
    } else {
        across = ss.st_dev != ddir.st.st_dev;
        if (!across) {
            // Renamed straight to its free new name and checked there: a file that took the
            // source's name after the check goes back, and a kill at any moment leaves the
            // file under one of the user's two names.
            if (m_before_act)
                m_before_act(s);
            const posix::CheckedRename r = posix::rename_checked(
                sdir.fd, sname.constData(), ddir.fd, dname.constData(), ss, moved, m_rename);
            if (r == posix::CheckedRename::Refused) {
                across = errno == EXDEV; // a second mount of the same file system
            } else {
                ok = r == posix::CheckedRename::Done;
                if (ok)
                    m_renamed.push_back(RenamedEntry{s, d, moved, replaced, {}});
                touched(sdir);
                touched(ddir);
            }
        }
        if (across) {
            const Fd entry = posix::open_entry(sdir.fd, sname.constData());
            struct stat held
            {};
            ok = entry.valid() && ::fstat(entry.get(), &held) == 0 &&
                 posix::same_version(held, ss) &&
                 move_across(entry.get(), sdir, s, ddir, d, src, dst, replaced);
        }
    }
    if (!ok) {
        if (replaced.isValid())
            FreedesktopTrash::restore(replaced, &m_syncs);
        return false;
    }
    if (report) {
        struct stat made
        {};
        const bool renamed = func == FO_MOVE && !across;
        if (renamed)
            made = moved;
        const bool seen =
            renamed || ::fstatat(ddir.fd, dname.constData(), &made, AT_SYMLINK_NOFOLLOW) == 0;
        report->made = seen ? identity_from(made) : FileIdentity{};
        report->replaced = replaced;
    }
    return true;
}

bool PosixShell::move_across(int entry, const Folder& sdir, const QByteArray& s, const Folder& ddir,
                             const QByteArray& d, const Path& src, const Path& dst,
                             const TrashedFile& replaced)
{
    struct stat ss
    {};
    if (::fstat(entry, &ss) != 0 || !removable_from(sdir, ss))
        return false;
    const QByteArray dname = posix::name_of(d);
    if (m_before_act)
        m_before_act(s);
    // As mv: root keeps the owner and group, everyone the mode.
    const bool keep_owner = ::geteuid() == 0;
    CopiedSource c{s, ss, d, {}, replaced};
    if (S_ISLNK(ss.st_mode)) {
        if (!copy_link(entry, ss, ddir.fd, dname.constData(), keep_owner))
            return false;
    } else if (S_ISREG(ss.st_mode)) {
        const Fd in(
            ::openat(sdir.fd, posix::name_of(s).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        struct stat now
        {};
        if (!in.valid() || ::fstat(in.get(), &now) != 0 || !same_file(now, ss) ||
            !m_copier.copy(in.get(), now, ddir, dname, src, dst, PosixCopier::Durability::Deferred,
                           &c.seen, keep_owner, Transfer::Move))
            return false;
    } else {
        return false;
    }
    touched(ddir);
    if (::fstatat(ddir.fd, dname.constData(), &c.made, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    // The source goes once the copy is on disk: when the command ends, or before a file is
    // put back where it may stand (restore).
    m_copied.push_back(std::move(c));
    return true;
}

bool PosixShell::finish_moves()
{
    if (m_copied.empty())
        return true;
    std::vector<CopiedSource> copied;
    copied.swap(m_copied);
    // The copies first: a source goes only once its copy is on disk.
    if (!m_syncs.sync_all()) {
        for (const CopiedSource& c : copied)
            undo_copy_of(c);
        m_command_failed = true;
        return false;
    }
    bool ok = true;
    for (const CopiedSource& c : copied) {
        yield_in_loop();
        m_folders.trim();
        // Saved or changed since it was copied (even its times put back): both stay.
        const bool gone = delete_checked(
            c.src, [&c](const struct stat& now) { return posix::same_state(c.seen, now); }, false);
        // The source stays; the copy stays too (as mv leaves it), unless a replaced file is
        // to go back to that place.
        if (!gone && c.replaced.isValid())
            undo_copy_of(c);
        ok = gone && ok;
    }
    if (!ok)
        m_command_failed = true;
    return ok;
}

void PosixShell::undo_copy_of(const CopiedSource& c)
{
    // The real unlink: the copy is ours, whatever stands in for the source's removal.
    const bool dropped = delete_checked(
        c.dst, [&c](const struct stat& now) { return posix::same_version(c.made, now); }, true,
        [](int dir, const char* name) { return ::unlinkat(dir, name, 0); });
    if (dropped && c.replaced.isValid())
        FreedesktopTrash::restore(c.replaced, &m_syncs);
}

bool PosixShell::delete_checked(const QByteArray& path,
                                const std::function<bool(const struct stat&)>& ok,
                                bool hook_after_check, const UnlinkFn& unlink)
{
    const Folder f = m_folders.get(posix::parent_of(path));
    if (!f.valid())
        return false;
    const QByteArray name = posix::name_of(path);
    if (!hook_after_check && m_before_act)
        m_before_act(path);
    const Fd entry = posix::open_entry(f.fd, name.constData());
    struct stat checked
    {};
    if (!entry.valid() || ::fstat(entry.get(), &checked) != 0 || !ok(checked))
        return false;
    if (hook_after_check && m_before_act)
        m_before_act(path);
    QByteArray aside;
    if (!posix::take_aside(f.fd, name, checked, aside))
        return false;
    if ((unlink ? unlink : m_unlink)(f.fd, aside.constData()) != 0) {
        posix::put_back(f.fd, aside, name);
        return false;
    }
    touched(f);
    return true;
}

int PosixShell::remove(const PathList& paths, bool permanent, QList<TrashedFile>* trashed)
{
    PathList wanted;
    for (const Path& p : paths) {
        if (!p.is_blank())
            wanted.append(p);
    }
    if (wanted.isEmpty())
        return ENOENT;
    if (m_messages.show(trash_question(wanted), MsgIcon::Question, MsgButtons::YesNo) !=
        MsgAnswer::Yes)
        return ECANCELED;
    ShellCommandScope scope(this);
    int failed = 0;
    for (const Path& p : wanted) {
        yield_in_loop();
        m_folders.trim();
        TrashedFile entry;
        bool ok = false;
        if (permanent) {
            ok = delete_checked(
                p.bytes(), [](const struct stat&) { return true; }, true);
        } else if (const std::optional<TrashedFile> t = m_trash.trash(p)) {
            entry = *t;
            ok = true;
            m_renamed.push_back(RenamedEntry{{}, {}, {}, {}, entry});
        }
        if (!ok)
            ++failed;
        if (trashed)
            trashed->append(entry);
    }
    const bool durable = scope.finish();
    return failed == 0 && durable ? 0 : EIO;
}

bool PosixShell::restore(const TrashedFile& entry)
{
    ShellCommandScope scope(this);
    // A move to another file system ends first: its source may stand where the file goes.
    finish_moves();
    const bool ok = FreedesktopTrash::restore(entry, &m_syncs);
    return scope.finish() && ok;
}

bool PosixShell::delete_if_unchanged(const Path& path, const FileIdentity& identity)
{
    ShellCommandScope scope(this);
    m_folders.trim();
    const bool ok = delete_checked(
        path.bytes(),
        [&identity](const struct stat& now) { return identity_from(now).unchanged(identity); },
        true);
    return scope.finish() && ok;
}

} // namespace pelmora
