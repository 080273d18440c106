#include "platform/posix_shell.h"

#include "platform/crlf.h"
#include "platform/message_box.h"
#include "platform/unique_fd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelmora {

namespace {

constexpr std::size_t kChunk = std::size_t(1) << 20;

using Fd = UniqueFd;

// Removes the temporary file unless the copy was renamed into place.
class TempFile final
{
public:
    explicit TempFile(QByteArray path) : m_path(std::move(path)) {}
    ~TempFile()
    {
        if (!m_kept)
            ::unlink(m_path.constData());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const char* path() const { return m_path.constData(); }
    void keep() { m_kept = true; }

private:
    QByteArray m_path;
    bool m_kept = false;
};

bool write_all(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

void sync_folder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool same_file(const struct stat& a, const char* other)
{
    struct stat b
    {};
    return ::stat(other, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Qt only sets up the home trash below an existing data folder, and otherwise moves the file
// to a "files" folder relative to the working directory.
void ensure_home_trash_parent()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!data.isEmpty())
        QDir().mkpath(data);
}

} // namespace

QString replace_question(const QString& dst)
{
    return QStringLiteral("同じ名前のファイル(") + dst + QStringLiteral(")が既にあります") + kCrLf +
           QStringLiteral("置き換えます") + kCrLf + QStringLiteral("よろしいですか");
}

QString trash_question(const QStringList& paths)
{
    const QString what = paths.size() == 1
                             ? QStringLiteral("ファイル(") + paths.front() + QLatin1Char(')')
                             : QString::number(paths.size()) + QStringLiteral("個のファイル");
    return what + QStringLiteral("をごみ箱へ移動します") + kCrLf + QStringLiteral("よろしいですか");
}

PosixShell::PosixShell(MessageBoxes& messages, CopyProgressFactory* progress)
    : m_messages(messages), m_progress(progress),
      m_rename([](const char* from, const char* to) { return std::rename(from, to); })
{}

bool PosixShell::ask_replace(const QString& src, const QString& dst)
{
    const QByteArray d = QFile::encodeName(dst);
    struct stat ds
    {};
    if (::lstat(d.constData(), &ds) != 0)
        return true; // nothing there to replace
    struct stat ss
    {};
    if (::stat(QFile::encodeName(src).constData(), &ss) == 0 && same_file(ss, d.constData()))
        return false; // a file cannot replace itself
    if (S_ISDIR(ds.st_mode))
        return false;
    return m_messages.show(replace_question(dst), MsgIcon::Question, MsgButtons::YesNo) ==
           MsgAnswer::Yes;
}

bool PosixShell::transfer(const QString& src, const QString& dst, int func, int /*flags*/)
{
    if (src.isEmpty() || dst.isEmpty() || (func != FO_COPY && func != FO_MOVE))
        return false;
    if (!ask_replace(src, dst))
        return false;
    const QByteArray s = QFile::encodeName(src);
    const QByteArray d = QFile::encodeName(dst);
    if (func == FO_MOVE) {
        if (m_rename(s.constData(), d.constData()) == 0)
            return true;
        if (errno != EXDEV)
            return false;
        // Across file systems: the source goes only once its copy is complete.
        if (!copy_file(src, dst))
            return false;
        if (::unlink(s.constData()) != 0) {
            ::unlink(d.constData());
            return false;
        }
        return true;
    }
    return copy_file(src, dst);
}

bool PosixShell::copy_file(const QString& src, const QString& dst)
{
    const Fd in(::open(QFile::encodeName(src).constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return false;
    struct stat st
    {};
    if (::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;

    const QFileInfo target(dst);
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    QByteArray pattern = folder + "/.pelmora-XXXXXX";
    Fd out(::mkostemp(pattern.data(), O_CLOEXEC));
    if (out.get() < 0)
        return false;
    TempFile temp(pattern);

    std::unique_ptr<CopyProgress> progress;
    if (m_progress && st.st_size > kProgressThreshold)
        progress = m_progress->begin(src, dst, st.st_size);

    std::vector<char> buffer(kChunk);
    qint64 done = 0;
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        if (!write_all(out.get(), buffer.data(), std::size_t(n)))
            return false;
        done += n;
        if (progress && !progress->update(done, st.st_size))
            return false;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::fchmod(out.get(), st.st_mode & 07777) != 0 || ::futimens(out.get(), times) != 0)
        return false;
    if (::fsync(out.get()) != 0 || !out.close_checked())
        return false;
    if (m_rename(temp.path(), QFile::encodeName(dst).constData()) != 0)
        return false;
    temp.keep();
    sync_folder(folder);
    return true;
}

int PosixShell::remove(const QStringList& paths, bool permanent, QStringList* trashed_to)
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
    if (!permanent)
        ensure_home_trash_parent();
    int failed = 0;
    for (const QString& p : wanted) {
        QString where;
        bool ok = permanent ? QFile::remove(p) : QFile::moveToTrash(p, &where);
        // A trash that could not be set up yields a relative place; that is no trash.
        ok = ok && (permanent || QDir::isAbsolutePath(where));
        if (!ok)
            ++failed;
        if (trashed_to)
            trashed_to->append(ok ? where : QString());
    }
    return failed == 0 ? 0 : EIO;
}

} // namespace pelmora
