// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/posix/posix_archive_files.h"

#include "backends/posix/long_path.h"
#include "backends/posix/posix_io.h"
#include "backends/posix/stale_files.h"

#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {
namespace {

using posix::Fd;

QByteArray unique_name(const char* prefix, const char* suffix)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray name = prefix + QByteArray::number(::getpid()) + '-';
    for (int i = 0; i < 6; ++i)
        name += letters[QRandomGenerator::global()->bounded(62)];
    return name + suffix;
}

// Creates a new file of a unique name of ours in dir, readable by this user only.
Fd make_file(int dir, const char* prefix, const char* suffix, int flags, QByteArray& name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = unique_name(prefix, suffix);
        Fd fd(::openat(dir, name.constData(), flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                       0600));
        if (fd.valid() || errno != EEXIST)
            return fd;
    }
    return Fd();
}

bool same_inode(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Nobody wrote to it, renamed over it or changed its mode or owner in between.
bool same_identity(const struct stat& a, const struct stat& b)
{
    return same_inode(a, b) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
           a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

FileIdentity identity(const struct stat& st)
{
    return FileIdentity{true, quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
                        qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

bool stat_at(int dir, const char* name, struct stat& st)
{
    return ::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// Renames from to to in dir only when nothing stands at to; through a hard link where the
// file system has no RENAME_NOREPLACE.
bool rename_no_replace_at(int dir, const char* from, const char* to)
{
    if (::renameat2(dir, from, dir, to, RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL)
        return false;
    if (::linkat(dir, from, dir, to, 0) != 0)
        return false;
    if (::unlinkat(dir, from, 0) == 0)
        return true;
    ::unlinkat(dir, to, 0);
    return false;
}

// Swaps the files at a and b in dir. Where the file system cannot swap in one step, b's file
// gets a third name first, and a replaces b in one rename: b (the user's name) holds a file at
// every moment, and a kill leaves b's file under the third name only as a second link. Without
// hard links, through the third name, each step refusing to replace anything.
bool exchange_at(int dir, const char* a, const char* b)
{
    if (::renameat2(dir, a, dir, b, RENAME_EXCHANGE) == 0)
        return true;
    if (errno != EINVAL)
        return false;
    const QByteArray third = unique_name(kTempPrefix, "");
    if (::linkat(dir, b, dir, third.constData(), 0) == 0) {
        if (::renameat(dir, a, dir, b) != 0) {
            ::unlinkat(dir, third.constData(), 0);
            return false;
        }
        if (rename_no_replace_at(dir, third.constData(), a))
            return true;
        // Back as they were, b never empty: a's file gets its name again, then b's file.
        if (::linkat(dir, b, dir, a, 0) == 0)
            ::renameat(dir, third.constData(), dir, b);
        return false;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK)
        return false;
    if (!rename_no_replace_at(dir, b, third.constData()))
        return false;
    if (!rename_no_replace_at(dir, a, b)) {
        rename_no_replace_at(dir, third.constData(), b);
        return false;
    }
    if (rename_no_replace_at(dir, third.constData(), a))
        return true;
    rename_no_replace_at(dir, b, a);
    rename_no_replace_at(dir, third.constData(), b);
    return false;
}

// The path a name leads to once every symbolic link at its end is followed: the file an
// update writes. Empty when the links go round in circles or cannot be read.
QByteArray followed(QByteArray path)
{
    for (int hops = 0; hops < 40; ++hops) {
        const posix::AtPath at(path);
        struct stat st
        {};
        if (::fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode))
            return path;
        QByteArray text(PATH_MAX, '\0');
        const ssize_t n = ::readlinkat(at.dir(), at.name(), text.data(), std::size_t(text.size()));
        if (n <= 0 || n >= text.size())
            return {};
        text.truncate(n);
        path = text.startsWith('/') ? text : posix::parent_of(path) + '/' + text;
    }
    return {};
}

mode_t current_umask()
{
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

class PosixListFile final : public ArchiveListFile
{
public:
    explicit PosixListFile(QByteArray path) : m_path(std::move(path)) {}
    ~PosixListFile() override { posix::unlink_path(m_path); }
    PosixListFile(const PosixListFile&) = delete;
    PosixListFile& operator=(const PosixListFile&) = delete;
    Path path() const override { return Path::from_bytes(m_path); }

private:
    QByteArray m_path;
};

class PosixArchiveUpdate final : public ArchiveUpdate
{
public:
    explicit PosixArchiveUpdate(const std::function<void()>& before_swap)
        : m_before_swap(before_swap)
    {}
    ~PosixArchiveUpdate() override
    {
        // Only our own new file, should the name hold another by now.
        struct stat st
        {};
        struct stat ours
        {};
        if (!m_committed && m_out.valid() && stat_at(m_dir.get(), m_temp.constData(), st) &&
            ::fstat(m_out.get(), &ours) == 0 && same_inode(st, ours))
            ::unlinkat(m_dir.get(), m_temp.constData(), 0);
    }
    PosixArchiveUpdate(const PosixArchiveUpdate&) = delete;
    PosixArchiveUpdate& operator=(const PosixArchiveUpdate&) = delete;

    bool open(const QByteArray& path);
    int existing() const override { return m_old.valid() ? m_old.get() : -1; }
    int output() const override { return m_out.get(); }
    bool commit(const std::function<bool(int fd)>& verify, ArchiveChange& change) override;

private:
    bool prepare_output();
    bool swap_in(QByteArray& kept);
    bool name_new();

    const std::function<void()>& m_before_swap;
    QByteArray m_folder;
    QByteArray m_name;
    QByteArray m_temp;
    Fd m_dir;
    Fd m_old;
    Fd m_out;
    struct stat m_old_st
    {};
    bool m_committed = false;
};

bool PosixArchiveUpdate::open(const QByteArray& requested)
{
    const QByteArray path = followed(requested);
    if (path.isEmpty())
        return false;
    m_folder = posix::parent_of(path);
    m_name = posix::name_of(path);
    m_dir = posix::open_folder(m_folder, O_RDONLY);
    if (!m_dir.valid())
        return false;
    remove_stale_files_at(m_dir.get());

    struct stat st
    {};
    if (stat_at(m_dir.get(), m_name.constData(), st)) {
        if (!S_ISREG(st.st_mode))
            return false;
        // Locked from the first byte read until the new archive has the name: another update
        // of ours waits for nothing and fails.
        m_old = Fd(::openat(m_dir.get(), m_name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!m_old.valid() || ::flock(m_old.get(), LOCK_EX | LOCK_NB) != 0 ||
            ::fstat(m_old.get(), &m_old_st) != 0 || !stat_at(m_dir.get(), m_name.constData(), st) ||
            !same_inode(st, m_old_st))
            return false;
    } else if (errno != ENOENT) {
        return false;
    }
    m_out = make_file(m_dir.get(), kTempPrefix, "", O_RDWR, m_temp);
    return m_out.valid();
}

// The old archive's mode, owner and group (those this process may give), or the mode a new
// file gets.
bool PosixArchiveUpdate::prepare_output()
{
    if (!m_old.valid())
        return ::fchmod(m_out.get(), 0666 & ~current_umask()) == 0;
    // Ownership first: a change of owner clears the set-id bits the mode then restores.
    if ((m_old_st.st_uid != ::geteuid() || m_old_st.st_gid != ::getegid()) &&
        ::fchown(m_out.get(), m_old_st.st_uid, m_old_st.st_gid) != 0 && errno != EPERM)
        return false;
    return ::fchmod(m_out.get(), m_old_st.st_mode & 07777) == 0;
}

// Puts the new archive in place of the old one, which gets the name kept.
bool PosixArchiveUpdate::swap_in(QByteArray& kept)
{
    const int dir = m_dir.get();
    struct stat now
    {};
    struct stat at_name
    {};
    if (::fstat(m_old.get(), &now) != 0 || !same_identity(now, m_old_st) ||
        !stat_at(dir, m_name.constData(), at_name) || !same_identity(at_name, m_old_st))
        return false;
    if (m_before_swap)
        m_before_swap();
    if (!exchange_at(dir, m_temp.constData(), m_name.constData()))
        return false;
    // The file swapped out must be the one checked: another one goes back at once.
    struct stat out
    {};
    if (!stat_at(dir, m_temp.constData(), out) || !same_inode(out, m_old_st)) {
        exchange_at(dir, m_temp.constData(), m_name.constData());
        return false;
    }
    bool named = false;
    for (int attempt = 0; attempt < 100 && !named; ++attempt) {
        kept = unique_name(kKeptPrefix, "");
        named = rename_no_replace_at(dir, m_temp.constData(), kept.constData());
        if (!named && errno != EEXIST)
            break;
    }
    if (!named) {
        exchange_at(dir, m_temp.constData(), m_name.constData());
        return false;
    }
    if (::fsync(dir) == 0)
        return true;
    // Not on disk: the old archive goes back to its name, the new one is removed with the
    // temporary name.
    if (exchange_at(dir, kept.constData(), m_name.constData()))
        m_temp = kept;
    ::fsync(dir);
    return false;
}

// Names a new archive, refusing a name someone took meanwhile.
bool PosixArchiveUpdate::name_new()
{
    const int dir = m_dir.get();
    if (m_before_swap)
        m_before_swap();
    if (!rename_no_replace_at(dir, m_temp.constData(), m_name.constData()))
        return false;
    if (::fsync(dir) == 0)
        return true;
    struct stat st
    {};
    struct stat ours
    {};
    if (stat_at(dir, m_name.constData(), st) && ::fstat(m_out.get(), &ours) == 0 &&
        same_inode(st, ours))
        rename_no_replace_at(dir, m_name.constData(), m_temp.constData());
    return false;
}

bool PosixArchiveUpdate::commit(const std::function<bool(int fd)>& verify, ArchiveChange& change)
{
    struct stat made
    {};
    if (m_committed || !prepare_output() || ::fsync(m_out.get()) != 0 ||
        !(verify && verify(m_out.get())) || ::fstat(m_out.get(), &made) != 0)
        return false;
    QByteArray kept;
    if (m_old.valid() ? !swap_in(kept) : !name_new())
        return false;
    m_committed = true;
    m_old.reset(); // releases the lock
    change.target = Path::from_bytes(m_folder + '/' + m_name);
    change.kept = kept.isEmpty() ? Path() : Path::from_bytes(m_folder + '/' + kept);
    change.made = identity(made);
    return true;
}

} // namespace

std::unique_ptr<ArchiveListFile> PosixArchiveFiles::write_list(const QByteArray& bytes)
{
    const QByteArray folder = temp_folder();
    const Fd dir = posix::open_folder(folder, O_RDONLY);
    if (!dir.valid())
        return nullptr;
    QByteArray name;
    Fd fd = make_file(dir.get(), kListPrefix, kListSuffix, O_WRONLY, name);
    if (!fd.valid())
        return nullptr;
    auto list = std::make_unique<PosixListFile>(folder + '/' + name);
    const char* data = bytes.constData();
    std::size_t left = std::size_t(bytes.size());
    while (left > 0) {
        const ssize_t n = ::write(fd.get(), data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return nullptr;
        data += n;
        left -= std::size_t(n);
    }
    return fd.close_checked() ? std::move(list) : nullptr;
}

std::unique_ptr<ArchiveUpdate> PosixArchiveFiles::begin(const Path& path)
{
    auto update = std::make_unique<PosixArchiveUpdate>(m_before_swap);
    if (!update->open(path.bytes()))
        return nullptr;
    return update;
}

bool PosixArchiveFiles::undo(const ArchiveChange& change)
{
    const QByteArray target = change.target.bytes();
    const QByteArray name = posix::name_of(target);
    const Fd dirFd = posix::open_folder(posix::parent_of(target), O_RDONLY);
    if (!dirFd.valid())
        return false;
    const int dir = dirFd.get();
    struct stat st
    {};
    if (!stat_at(dir, name.constData(), st) || !S_ISREG(st.st_mode) ||
        !identity(st).unchanged(change.made))
        return false;

    if (!change.kept.is_empty()) {
        // The earlier archive comes back whole: the same file, with its mode and owner.
        const QByteArray kept = posix::name_of(change.kept.bytes());
        if (!stat_at(dir, kept.constData(), st) ||
            !exchange_at(dir, kept.constData(), name.constData()))
            return false;
        if (!stat_at(dir, kept.constData(), st) || !identity(st).unchanged(change.made) ||
            ::fsync(dir) != 0) {
            exchange_at(dir, kept.constData(), name.constData());
            ::fsync(dir);
            return false;
        }
        // The undone archive: its hidden name goes too (a leftover would be stale only).
        ::unlinkat(dir, kept.constData(), 0);
        return true;
    }
    // A new archive: moved aside under a name of ours, checked there, then removed.
    const QByteArray aside = unique_name(kTempPrefix, "");
    if (!rename_no_replace_at(dir, name.constData(), aside.constData()))
        return false;
    if (!stat_at(dir, aside.constData(), st) || !identity(st).unchanged(change.made) ||
        ::fsync(dir) != 0) {
        rename_no_replace_at(dir, aside.constData(), name.constData());
        ::fsync(dir);
        return false;
    }
    ::unlinkat(dir, aside.constData(), 0);
    return true;
}

void PosixArchiveFiles::forget(const ArchiveChange& change)
{
    if (!change.kept.is_empty())
        posix::unlink_path(change.kept.bytes());
}

} // namespace pelmora
