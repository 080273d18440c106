// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/preview/office_sandbox.h"

#include "backends/preview/folder_cleaner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace pelmora::office_sandbox {

namespace {

QString sub(const QString& folder, const char* name)
{
    return folder + QLatin1Char('/') + QLatin1String(name);
}

// Namespaces: no network, no view of other processes, no shared memory with them, no
// terminal to push input into (--new-session), and the jail ends with its parent.
QStringList isolation()
{
    return {QStringLiteral("--unshare-user-try"), QStringLiteral("--unshare-ipc"),
            QStringLiteral("--unshare-pid"),      QStringLiteral("--unshare-net"),
            QStringLiteral("--unshare-uts"),      QStringLiteral("--unshare-cgroup-try"),
            QStringLiteral("--die-with-parent"),  QStringLiteral("--new-session"),
            QStringLiteral("--cap-drop"),         QStringLiteral("ALL")};
}

// The installed system, read-only: programs, libraries, fonts and their cache, settings.
// Merged-/usr systems keep /bin, /lib and friends as links, which are made again inside.
QStringList system_view()
{
    QStringList args;
    for (const char* top : {"/usr", "/etc", "/opt", "/var/cache/fontconfig"})
        args << QStringLiteral("--ro-bind-try") << QLatin1String(top) << QLatin1String(top);
    for (const char* top : {"/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32"}) {
        const QFileInfo info{QLatin1String(top)};
        if (info.isSymLink())
            args << QStringLiteral("--symlink") << info.symLinkTarget() << QLatin1String(top);
        else if (info.isDir())
            args << QStringLiteral("--ro-bind") << QLatin1String(top) << QLatin1String(top);
    }
    args << QStringLiteral("--dev") << QStringLiteral("/dev") << QStringLiteral("--proc")
         << QStringLiteral("/proc");
    return args;
}

// A clean environment: nothing that points at the user's session (buses, display, runtime
// folder), only the language and time zone the page should be drawn in.
QStringList environment(const QString& home)
{
    QStringList args{QStringLiteral("--clearenv"),
                     QStringLiteral("--setenv"),
                     QStringLiteral("PATH"),
                     QStringLiteral("/usr/local/bin:/usr/bin:/bin"),
                     QStringLiteral("--setenv"),
                     QStringLiteral("HOME"),
                     home,
                     QStringLiteral("--setenv"),
                     QStringLiteral("TMPDIR"),
                     QStringLiteral("/tmp")};
    const QProcessEnvironment host = QProcessEnvironment::systemEnvironment();
    for (const QString& key : host.keys()) {
        if (key == QLatin1String("LANG") || key == QLatin1String("LANGUAGE") ||
            key == QLatin1String("TZ") || key.startsWith(QLatin1String("LC_")))
            args << QStringLiteral("--setenv") << key << host.value(key);
    }
    return args;
}

} // namespace

QString find(const QString& wanted)
{
    const QString name = wanted.isEmpty() ? QStringLiteral("bwrap") : wanted;
    if (!name.contains(QLatin1Char('/')))
        return QStandardPaths::findExecutable(name);
    const QFileInfo info(name);
    return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
}

std::unique_ptr<QTemporaryDir> make_folder(const QString& prefix)
{
    auto dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QLatin1Char('/') + prefix +
                                               QStringLiteral("XXXXXX"));
    if (!dir->isValid() || !mark_owner(dir->path()))
        return nullptr;
    const QDir root(dir->path());
    for (const char* name : {kProfile, kTmp, kHome, kKeep, kInput, kOutput}) {
        if (!root.mkdir(QLatin1String(name)))
            return nullptr;
    }
    return dir;
}

QStringList wrap(const QString& folder, const QString& command, const QStringList& arguments)
{
    QStringList args = isolation() + system_view();
    // /tmp first: the folder itself may lie below it.
    args << QStringLiteral("--bind") << sub(folder, kTmp) << QStringLiteral("/tmp")
         << QStringLiteral("--bind") << folder << folder << QStringLiteral("--ro-bind")
         << sub(folder, kInput) << sub(folder, kInput);
    args << environment(sub(folder, kHome));
    args << QStringLiteral("--chdir") << sub(folder, kHome) << QStringLiteral("--") << command
         << arguments;
    return args;
}

bool usable(const QString& bwrap, QString* why)
{
    QProcess probe;
    probe.setProgram(bwrap);
    probe.setArguments(isolation() + system_view() +
                       QStringList{QStringLiteral("--"), QStringLiteral("/bin/true")});
    probe.setProcessChannelMode(QProcess::MergedChannels);
    probe.setStandardInputFile(QProcess::nullDevice());
    probe.start();
    const bool finished = probe.waitForStarted(5000) && probe.waitForFinished(10'000);
    if (!finished)
        probe.kill();
    const bool ok = finished && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
    if (!ok && why != nullptr)
        *why = QString::fromLocal8Bit(probe.readAll()).trimmed();
    if (!finished)
        probe.waitForFinished(1000);
    return ok;
}

bool clear_exchange(const QString& folder)
{
    // Only the entries: in/ is a mount point inside a running jail and must stay the same
    // folder.
    for (const char* name : {kInput, kOutput}) {
        const QDir dir(sub(folder, name));
        if (!dir.exists())
            return false;
        for (const QFileInfo& entry :
             dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
            const bool gone = entry.isDir() && !entry.isSymLink()
                                  ? QDir(entry.filePath()).removeRecursively()
                                  : QFile::remove(entry.filePath());
            if (!gone)
                return false;
        }
    }
    return true;
}

} // namespace pelmora::office_sandbox
