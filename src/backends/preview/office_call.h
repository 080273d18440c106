// SPDX-License-Identifier: GPL-3.0-or-later
// One soffice call run to its end in a process group of its own, under a deadline, while the
// event loop keeps running. On time-out the whole group is killed; a caller that learns the
// call is no longer wanted kills the group itself (the leader is reported once started).
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QString>
#include <QStringList>
#include <functional>

namespace pelmora {

struct OfficeCallOutcome
{
    enum class Kind { Finished, FailedToStart, TimedOut } kind = Kind::Finished;
    int exit_code = -1;
    bool crashed = false;
    QByteArray output; // the last 2000 bytes of stdout and stderr
    qint64 leader = 0;
};

OfficeCallOutcome run_office_call(const QString& program, const QStringList& arguments,
                                  const QString& tmpdir, const QDeadlineTimer& deadline,
                                  QEventLoop::ProcessEventsFlags flags,
                                  const std::function<void(qint64 leader)>& started = {});

} // namespace pelmora
