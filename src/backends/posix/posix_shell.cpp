// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/posix/posix_shell.h"

#include "backends/posix/long_path.h"
#include "backends/posix/posix_io.h"
#include "base/crlf.h"
#include "base/native_path.h"
#include "ports/message_box.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelmora {

namespace {

using native_path::readable;
using native_path::to_native;

// Recreates the link src at dst (on another file system) with its own times.
bool copy_link(const QByteArray& src, const QByteArray& dst, const struct stat& st)
{
    std::vector<char> target(std::size_t(st.st_size > 0 ? st.st_size : 255) + 1);
    const posix::AtPath from(src);
    const ssize_t n = ::readlinkat(from.dir(), from.name(), target.data(), target.size());
    if (n < 0 || std::size_t(n) >= target.size())
        return false;
    target[std::size_t(n)] = '\0';
    const posix::AtPath to(dst);
    if (::symlinkat(target.data(), to.dir(), to.name()) != 0)
        return false;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(to.dir(), to.name(), times, AT_SYMLINK_NOFOLLOW);
    posix::sync_folder(posix::parent_of(dst));
    return true;
}

} // namespace

QString replace_question(const QString& dst)
{
    return QStringLiteral("同じ名前のファイル(") + readable(dst) +
           QStringLiteral(")が既にあります") + kCrLf + QStringLiteral("置き換えます") + kCrLf +
           QStringLiteral("よろしいですか");
}

QString trash_question(const QStringList& paths)
{
    const QString what =
        paths.size() == 1 ? QStringLiteral("ファイル(") + readable(paths.front()) + QLatin1Char(')')
                          : QString::number(paths.size()) + QStringLiteral("個のファイル");
    return what + QStringLiteral("をごみ箱へ移動します") + kCrLf + QStringLiteral("よろしいですか");
}

PosixShell::PosixShell(MessageBoxes& messages, CopyProgressFactory* progress)
    : m_messages(messages), m_copier(progress, kProgressThreshold),
      m_rename([](const char* from, const char* to) { return posix::rename_no_replace(from, to); }),
      m_unlink([](const char* path) { return posix::unlink_path(path); })
{}

PosixCopier::Durability PosixShell::durability() const
{
    return m_command_depth > 0 ? PosixCopier::Durability::Deferred : PosixCopier::Durability::Now;
}

void PosixShell::begin_command()
{
    if (m_command_depth++ == 0)
        m_copier.forget_cleared();
}

bool PosixShell::end_command()
{
    if (m_command_depth == 0 || --m_command_depth > 0)
        return true;
    return m_copier.sync_pending();
}

bool PosixShell::ask_replace(const QString& dst)
{
    return m_messages.show(replace_question(dst), MsgIcon::Question, MsgButtons::YesNo) ==
           MsgAnswer::Yes;
}

bool PosixShell::transfer(const QString& src, const QString& dst, int func, int /*flags*/,
                          TransferReport* report)
{
    if (src.isEmpty() || dst.isEmpty() || (func != FO_COPY && func != FO_MOVE))
        return false;
    const QByteArray s = to_native(src);
    const QByteArray d = to_native(dst);
    struct stat ss
    {};
    if (!posix::stat_path(s, ss, false))
        return false;
    if (report && report->expected_source.valid &&
        !identity_of(src).same_file(report->expected_source))
        return false;
    struct stat followed
    {};
    const bool has_target = posix::stat_path(s, followed, true);
    if (func == FO_COPY && (!has_target || !S_ISREG(followed.st_mode)))
        return false;
    // A move must be able to take the source away before anything at dst is touched.
    if (func == FO_MOVE && !posix::removable(s))
        return false;

    TrashedFile replaced;
    struct stat ds
    {};
    if (posix::stat_path(d, ds, false)) {
        if (S_ISDIR(ds.st_mode))
            return false;
        const bool itself =
            (ss.st_dev == ds.st_dev && ss.st_ino == ds.st_ino) ||
            (has_target && followed.st_dev == ds.st_dev && followed.st_ino == ds.st_ino);
        if (itself || !ask_replace(dst))
            return false;
        // The file being replaced is the user's: it goes to the trash, or nothing happens.
        const std::optional<TrashedFile> t = m_trash.trash(dst);
        if (!t)
            return false;
        replaced = *t;
    }

    bool ok = func == FO_COPY ? m_copier.copy(s, d, src, dst, durability())
                              : move(s, d, src, dst, replaced.isValid());
    // The name may have been given to another file between the check above and the move (a
    // rename moves whatever stands there): that file goes back where it stood.
    // Across file systems the copy is a new file by nature; the copier opened the source once.
    const FileIdentity moved = ok && func == FO_MOVE && report ? identity_of(dst) : FileIdentity{};
    if (moved.valid && report->expected_source.valid && moved.dev == report->expected_source.dev &&
        !moved.same_file(report->expected_source)) {
        if (posix::rename_no_replace(d.constData(), s.constData()) != 0)
            return false; // it stays at dst, whole; nothing is replaced by putting it back
        ok = false;
    }
    if (!ok) {
        if (replaced.isValid())
            FreedesktopTrash::restore(replaced);
        return false;
    }
    if (report) {
        report->made = identity_of(dst);
        report->replaced = replaced;
    }
    return true;
}

bool PosixShell::move(const QByteArray& s, const QByteArray& d, const QString& src,
                      const QString& dst, bool drop_copy_on_failure)
{
    if (m_rename(s.constData(), d.constData()) == 0)
        return true;
    if (errno != EXDEV)
        return false;
    // Across file systems: a complete, synced copy first, the source only after it.
    struct stat st
    {};
    if (!posix::stat_path(s, st, false))
        return false;
    bool copied = false;
    if (S_ISLNK(st.st_mode))
        copied = copy_link(s, d, st);
    else if (S_ISREG(st.st_mode))
        copied = m_copier.copy(s, d, src, dst, PosixCopier::Durability::Now, &st, ::geteuid() == 0,
                               Transfer::Move);
    if (!copied)
        return false;
    if (remove_copied_source(s, st))
        return true;
    // The source stays. The copy stays too (as mv leaves it), unless a replaced file is to
    // go back to that place.
    if (drop_copy_on_failure)
        posix::unlink_path(d);
    return false;
}

bool PosixShell::remove_copied_source(const QByteArray& s, const struct stat& copied)
{
    // An application may have saved a newer version under the name meanwhile: that one stays.
    return posix::remove_checked(
        s, [&copied](const struct stat& now) { return posix::same_version(copied, now); },
        m_unlink);
}

int PosixShell::remove(const QStringList& paths, bool permanent, QList<TrashedFile>* trashed)
{
    QStringList wanted;
    for (const QString& p : paths) {
        if (!p.trimmed().isEmpty())
            wanted.append(p);
    }
    if (wanted.isEmpty())
        return ENOENT;
    if (m_messages.show(trash_question(wanted), MsgIcon::Question, MsgButtons::YesNo) !=
        MsgAnswer::Yes)
        return ECANCELED;
    int failed = 0;
    for (const QString& p : wanted) {
        TrashedFile entry;
        bool ok = false;
        if (permanent) {
            ok = posix::unlink_path(to_native(p)) == 0;
        } else if (const std::optional<TrashedFile> t = m_trash.trash(p)) {
            entry = *t;
            ok = true;
        }
        if (!ok)
            ++failed;
        if (trashed)
            trashed->append(entry);
    }
    return failed == 0 ? 0 : EIO;
}

bool PosixShell::restore(const TrashedFile& entry)
{
    return FreedesktopTrash::restore(entry);
}

bool PosixShell::delete_if_unchanged(const QString& path, const FileIdentity& identity)
{
    return posix::remove_checked(
        to_native(path),
        [&identity](const struct stat& now) {
            const FileIdentity seen{true, quint64(now.st_dev), quint64(now.st_ino),
                                    qint64(now.st_size),
                                    qint64(now.st_mtim.tv_sec) * 1000000000 + now.st_mtim.tv_nsec};
            return seen.unchanged(identity);
        },
        [](const char* p) { return posix::unlink_path(QByteArray(p)); });
}

} // namespace pelmora
