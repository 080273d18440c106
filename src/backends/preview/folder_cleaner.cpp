// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/preview/folder_cleaner.h"

#include "base/process_group.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>
#include <csignal>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {

namespace {
constexpr auto kOwnerFile = "owner.pid";
}

FolderCleaner::~FolderCleaner() = default; // jthreads join

void FolderCleaner::join_finished()
{
    std::erase_if(m_jobs, [](const std::unique_ptr<Job>& job) { return job->done.load(); });
}

void FolderCleaner::discard_after(const QString& path, qint64 leader)
{
    join_finished();
    if (path.isEmpty())
        return;
    auto job = std::make_unique<Job>();
    Job* raw = job.get();
    job->thread = std::jthread([path, leader, raw] {
        QDeadlineTimer gone(5000);
        while (process_group::alive(leader) && !gone.hasExpired())
            QThread::msleep(20);
        QDir(path).removeRecursively();
        raw->done = true;
    });
    m_jobs.push_back(std::move(job));
}

int FolderCleaner::pending()
{
    join_finished();
    return static_cast<int>(m_jobs.size());
}

bool mark_owner(const QString& dir)
{
    QFile file(dir + QLatin1Char('/') + QLatin1String(kOwnerFile));
    return file.open(QIODevice::WriteOnly) &&
           file.write(QByteArray::number(static_cast<qint64>(::getpid()))) > 0;
}

int remove_stale_folders(const QString& temp_root, const QString& prefix)
{
    int removed = 0;
    const QDir root(temp_root);
    const QStringList names =
        root.entryList({prefix + QLatin1Char('*')},
                       QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks);
    for (const QString& name : names) {
        const QString dir = root.filePath(name);
        struct stat info
        {};
        if (::lstat(QFile::encodeName(dir).constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != ::geteuid())
            continue;
        QFile owner(dir + QLatin1Char('/') + QLatin1String(kOwnerFile));
        bool stale = false;
        if (owner.open(QIODevice::ReadOnly)) {
            const qint64 pid = owner.readAll().trimmed().toLongLong();
            stale = pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
        } else {
            // Not marked yet, or written by an older version: judge by age.
            stale = std::time(nullptr) - info.st_mtime > 60;
        }
        if (stale && QDir(dir).removeRecursively())
            ++removed;
    }
    return removed;
}

} // namespace pelmora
