// SPDX-License-Identifier: GPL-3.0-or-later
// One headless LibreOffice kept running so conversions skip its start-up: it holds a small
// document of ours open, and short soffice calls with the same profile hand it their work.
// It runs in the office sandbox with a private folder of its own; its clients are started in
// a jail of the same folder, so they find its socket in that folder's /tmp.
// Its process group ends with it, and with Pelmora: the launcher gets SIGTERM when Pelmora
// dies and a detached watchdog kills the group should Pelmora be killed outright.
#pragma once

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QString>
#include <chrono>
#include <memory>

class QProcess;
class QTemporaryDir;

namespace pelmora {

class FolderCleaner;

class ResidentOffice final
{
public:
    ResidentOffice(QString program, QString sandbox, FolderCleaner& cleaner);
    ~ResidentOffice(); // stops the office
    ResidentOffice(const ResidentOffice&) = delete;
    ResidentOffice& operator=(const ResidentOffice&) = delete;

    enum class Start { Started, NoFolder, NotStarted };
    // Starts the office without waiting for it to get ready; a running one is killed first.
    // A positive niceness runs it (and every conversion it does) at that lower priority.
    Start start(int niceness = 0);
    bool running() const;
    // It has loaded the keep document and takes requests (or the grace time has passed).
    bool shows_ready() const;

    enum class Wait { Ready, Ended, TimedOut };
    Wait wait_ready(const QDeadlineTimer& deadline, QEventLoop::ProcessEventsFlags flags);

    // SIGTERM lets it save its profile; SIGKILL is for a stuck or superseded office, whose
    // profile is then thrown away once the group is gone.
    void stop(int sig);

    QString profile_argument() const { return m_profile; }
    QString folder() const; // its private folder, empty when not started
    qint64 leader() const { return m_leader; }
    qint64 age_ms() const { return m_age.elapsed(); }
    int niceness() const { return m_niceness; }

    bool busy = false; // a conversion is running on it

private:
    QString m_program;
    QString m_sandbox;
    FolderCleaner& m_cleaner;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_process;
    qint64 m_leader = 0;
    QString m_profile;
    QElapsedTimer m_age;
    bool m_ready = false;
    int m_niceness = 0;
};

// -env:UserInstallation=file:///... for a profile folder.
QString profile_argument(const QString& dir);
// Starts a detached watchdog that kills the group led by leader, and removes folder, once
// this process has ended; it leaves quietly when the group ends first.
void watch_group_for_parent_death(qint64 leader, const QString& folder);

} // namespace pelmora
