// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/preview/resident_office.h"

#include "backends/preview/folder_cleaner.h"
#include "backends/preview/office_sandbox.h"
#include "base/process_group.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace pelmora {

namespace {

Q_LOGGING_CATEGORY(lcOffice, "pelmora.preview.office", QtInfoMsg)

// Without a lock file (lock files switched off by an administrator) the office is taken as
// ready after this long.
constexpr std::chrono::milliseconds kStartGrace{20'000};
constexpr std::chrono::milliseconds kPollInterval{25};
constexpr auto kKeepName = "keep.txt";

} // namespace

QString profile_argument(const QString& dir)
{
    return QStringLiteral("-env:UserInstallation=") +
           QUrl::fromLocalFile(dir).toString(QUrl::FullyEncoded);
}

void watch_group_for_parent_death(qint64 leader, const QString& folder)
{
    if (leader <= 0)
        return;
    // Polls once a second; costs nothing measurable and needs nothing but /bin/sh.
    const QString script = QStringLiteral("while kill -0 \"$1\" 2>/dev/null; do\n"
                                          "  kill -0 \"-$2\" 2>/dev/null || exit 0\n"
                                          "  sleep 1\n"
                                          "done\n"
                                          "kill -9 \"-$2\" 2>/dev/null\n"
                                          "sleep 1\n"
                                          "[ -n \"$3\" ] && rm -rf -- \"$3\"\n");
    QProcess::startDetached(QStringLiteral("/bin/sh"),
                            {QStringLiteral("-c"), script, QStringLiteral("pelmora-watchdog"),
                             QString::number(::getpid()), QString::number(leader), folder});
}

ResidentOffice::ResidentOffice(QString program, QString sandbox, FolderCleaner& cleaner)
    : m_program(std::move(program)), m_sandbox(std::move(sandbox)), m_cleaner(cleaner)
{}

ResidentOffice::~ResidentOffice()
{
    stop(SIGTERM);
}

bool ResidentOffice::running() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

QString ResidentOffice::folder() const
{
    return m_dir ? m_dir->path() : QString();
}

ResidentOffice::Start ResidentOffice::start(int niceness)
{
    stop(SIGKILL);
    auto dir = office_sandbox::make_folder(QStringLiteral("pelmora-lo-"));
    if (!dir)
        return Start::NoFolder;
    QFile keep(dir->path() + QLatin1Char('/') + QLatin1String(office_sandbox::kKeep) +
               QLatin1Char('/') + QLatin1String(kKeepName));
    if (!keep.open(QIODevice::WriteOnly) || keep.write("Pelmora\n") < 0)
        return Start::NoFolder;
    keep.close();

    m_profile = pelmora::profile_argument(dir->path() + QLatin1Char('/') +
                                          QLatin1String(office_sandbox::kProfile));
    m_process = std::make_unique<QProcess>();
    m_process->setProgram(m_sandbox);
    // The open hidden document keeps the office from ending after each conversion.
    m_process->setArguments(office_sandbox::wrap(
        dir->path(), m_program,
        {m_profile, QStringLiteral("--headless"), QStringLiteral("--invisible"),
         QStringLiteral("--nologo"), QStringLiteral("--norestore"), QStringLiteral("--nolockcheck"),
         keep.fileName()}));
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setStandardErrorFile(QProcess::nullDevice());
    m_process->setChildProcessModifier([niceness] {
        process_group::become_leader_dying_with_parent();
        if (niceness > 0)
            ::setpriority(PRIO_PROCESS, 0, niceness);
    });
    m_niceness = niceness;
    m_dir = std::move(dir);
    m_ready = false;
    m_process->start();
    if (!m_process->waitForStarted(5000)) {
        qCWarning(lcOffice) << "resident office did not start:" << m_process->errorString();
        stop(SIGKILL);
        return Start::NotStarted;
    }
    m_leader = m_process->processId();
    watch_group_for_parent_death(m_leader, m_dir->path());
    m_age.start();
    return Start::Started;
}

bool ResidentOffice::shows_ready() const
{
    if (!m_dir || !running())
        return false;
    if (m_ready)
        return true;
    const QString lock = m_dir->path() + QLatin1Char('/') + QLatin1String(office_sandbox::kKeep) +
                         QStringLiteral("/.~lock.") + QLatin1String(kKeepName) + QLatin1Char('#');
    return QFileInfo::exists(lock) || m_age.elapsed() >= kStartGrace.count();
}

ResidentOffice::Wait ResidentOffice::wait_ready(const QDeadlineTimer& deadline,
                                                QEventLoop::ProcessEventsFlags flags)
{
    if (!running())
        return Wait::Ended;
    if (!shows_ready()) {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (!running() || shows_ready() || deadline.hasExpired())
                loop.quit();
        });
        QObject::connect(m_process.get(), &QProcess::finished, &loop, &QEventLoop::quit);
        poll.start(kPollInterval);
        loop.exec(flags);
    }
    if (!running())
        return Wait::Ended;
    if (!shows_ready())
        return Wait::TimedOut;
    if (!m_ready)
        qCInfo(lcOffice) << "resident office ready after" << m_age.elapsed() << "ms";
    m_ready = true;
    return Wait::Ready;
}

void ResidentOffice::stop(int sig)
{
    if (m_process) {
        const qint64 leader = m_leader != 0 ? m_leader : m_process->processId();
        process_group::signal(leader, sig);
        m_process->waitForFinished(sig == SIGKILL ? 1000 : 3000);
        if (sig != SIGKILL) {
            // On a clean stop soffice.bin may still be saving its profile; it is in the group.
            QDeadlineTimer grace(3000);
            while (process_group::alive(leader) && !grace.hasExpired())
                QThread::msleep(20);
            process_group::signal(leader, SIGKILL);
        }
        if (m_process->state() != QProcess::NotRunning)
            m_process->waitForFinished(1000);
        m_process.reset();
    }
    if (sig == SIGKILL && m_dir && m_dir->isValid()) {
        m_dir->setAutoRemove(false);
        m_cleaner.discard_after(m_dir->path(), m_leader);
    }
    m_dir.reset();
    m_leader = 0;
    m_ready = false;
    busy = false;
}

} // namespace pelmora
