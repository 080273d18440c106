// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/desktop/desktop_opener.h"

#include "base/native_path.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>
#include <csignal>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ; // NOLINT(readability-redundant-declaration)

namespace pelmora {

namespace {
Q_LOGGING_CATEGORY(lcOpener, "pelmora.opener")

int open_pidfd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}
} // namespace

struct DesktopOpener::Launch
{
    pid_t pid = 0;
    int pidfd = -1;
    bool reported = false;
    std::function<void(bool)> done;
    std::unique_ptr<QSocketNotifier> notifier;
    std::unique_ptr<QTimer> poll; // when there is no pidfd
    std::unique_ptr<QTimer> settle;

    ~Launch()
    {
        if (pidfd >= 0)
            ::close(pidfd);
    }
};

DesktopOpener::DesktopOpener(QString program, std::chrono::milliseconds settle)
    : m_program(std::move(program)), m_settle(settle)
{}

DesktopOpener::~DesktopOpener() = default;

void DesktopOpener::open(const Path& path, std::function<void(bool accepted)> done)
{
    const auto refuse = [this, &done](const char* why, const QString& shown) {
        qCInfo(lcOpener) << why << shown;
        QTimer::singleShot(0, &m_context, [done = std::move(done)] {
            if (done)
                done(false);
        });
    };
    // xdg-open reports success for some missing files, so refuse what cannot be opened here.
    if (path.is_empty())
        return refuse("empty path", path.text());
    const QByteArray target = native_path::to_absolute_native(path.text());
    struct stat info
    {};
    if (::stat(target.constData(), &info) != 0)
        return refuse("not found:", path.readable());
    const QString program = m_program.contains(QLatin1Char('/'))
                                ? m_program
                                : QStandardPaths::findExecutable(m_program);
    if (program.isEmpty())
        return refuse("no opener program:", m_program);

    const QByteArray program_bytes = QFile::encodeName(program);
    char* argv[] = {const_cast<char*>(program_bytes.constData()),
                    const_cast<char*>(target.constData()), nullptr};
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A session of its own: the application outlives us and ignores our terminal's signals.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    pid_t pid = 0;
    const int error =
        ::posix_spawn(&pid, program_bytes.constData(), nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0)
        return refuse("cannot start the opener:", program);

    auto launch = std::make_unique<Launch>();
    Launch* raw = launch.get();
    raw->pid = pid;
    raw->done = std::move(done);
    const auto check = [this, raw] {
        int status = 0;
        const pid_t got = ::waitpid(raw->pid, &status, WNOHANG);
        if (got == 0)
            return; // still running
        const bool accepted = got == raw->pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (got == raw->pid && !accepted)
            qCInfo(lcOpener) << "opener refused, status" << status;
        // Quiet the watch before answering: the answer may run a nested event loop (a
        // message box), in which a still-armed notifier would fire again.
        forget(raw);
        finished(raw, accepted);
    };
    raw->pidfd = open_pidfd(pid);
    if (raw->pidfd >= 0) {
        raw->notifier = std::make_unique<QSocketNotifier>(raw->pidfd, QSocketNotifier::Read);
        QObject::connect(raw->notifier.get(), &QSocketNotifier::activated, &m_context, check);
    } else {
        raw->poll = std::make_unique<QTimer>();
        QObject::connect(raw->poll.get(), &QTimer::timeout, &m_context, check);
        raw->poll->start(100);
    }
    raw->settle = std::make_unique<QTimer>();
    raw->settle->setSingleShot(true);
    QObject::connect(raw->settle.get(), &QTimer::timeout, &m_context,
                     [this, raw] { finished(raw, true); });
    raw->settle->start(m_settle);
    m_launches.push_back(std::move(launch));
}

void DesktopOpener::finished(Launch* launch, bool accepted)
{
    if (launch->reported)
        return;
    launch->reported = true;
    if (launch->settle)
        launch->settle->stop();
    // The callback is moved out first: the launch may be forgotten while it runs.
    const std::function<void(bool)> done = std::move(launch->done);
    if (done)
        done(accepted);
}

void DesktopOpener::forget(Launch* launch)
{
    if (launch->notifier)
        launch->notifier->setEnabled(false);
    if (launch->poll)
        launch->poll->stop();
    if (launch->settle)
        launch->settle->stop();
    // Not from inside the notifier's own signal: leave that to the event loop.
    QTimer::singleShot(0, &m_context, [this, launch] {
        std::erase_if(m_launches, [launch](const auto& l) { return l.get() == launch; });
    });
}

} // namespace pelmora
