// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/preview/office_call.h"

#include "base/process_group.h"

#include <QProcess>
#include <QTimer>
#include <csignal>

namespace pelmora {

OfficeCallOutcome run_office_call(const QString& program, const QStringList& arguments,
                                  const QString& tmpdir, const QDeadlineTimer& deadline,
                                  QEventLoop::ProcessEventsFlags flags,
                                  const std::function<void(qint64 leader)>& started)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!tmpdir.isEmpty())
        environment.insert(QStringLiteral("TMPDIR"), tmpdir);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setChildProcessModifier(process_group::become_leader_dying_with_parent);

    qint64 leader = 0;
    bool failed_to_start = false;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&process, &QProcess::started, &loop, [&] {
        leader = process.processId();
        if (started)
            started(leader);
    });
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            failed_to_start = true;
            loop.quit();
        }
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);

    OfficeCallOutcome outcome;
    process.start();
    if (process.state() != QProcess::NotRunning && !failed_to_start) {
        limit.start(std::chrono::milliseconds(std::max<qint64>(0, deadline.remainingTime())));
        loop.exec(flags);
    }
    if (failed_to_start ||
        (process.state() == QProcess::NotRunning && process.error() == QProcess::FailedToStart)) {
        outcome.kind = OfficeCallOutcome::Kind::FailedToStart;
        return outcome;
    }
    if (process.state() != QProcess::NotRunning) {
        outcome.kind = OfficeCallOutcome::Kind::TimedOut;
        process_group::signal(leader != 0 ? leader : process.processId(), SIGKILL);
        if (process.state() != QProcess::NotRunning) {
            // SIGKILL cannot be ignored; this only waits for the kernel to report it.
            QTimer backstop;
            backstop.setSingleShot(true);
            QObject::connect(&backstop, &QTimer::timeout, &loop, &QEventLoop::quit);
            backstop.start(5000);
            loop.exec(flags);
        }
    } else {
        outcome.exit_code = process.exitCode();
        outcome.crashed = process.exitStatus() == QProcess::CrashExit;
        // Anything the program left behind in its group goes with it.
        process_group::signal(leader, SIGKILL);
    }
    outcome.output = process.readAll().right(2000);
    outcome.leader = leader;
    return outcome;
}

} // namespace pelmora
