// SPDX-License-Identifier: GPL-3.0-or-later
// Runs part of a test as an ordinary user. CI runs as root, for whom read-only folders and
// sticky bits refuse nothing; the forked child drops to nobody so they really refuse.
#pragma once

#include <QByteArray>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pelmora::test {

inline uid_t nobody_uid()
{
    const passwd* pw = ::getpwnam("nobody");
    return pw ? pw->pw_uid : uid_t(65534);
}

inline gid_t nobody_gid()
{
    const passwd* pw = ::getpwnam("nobody");
    return pw ? pw->pw_gid : gid_t(65534);
}

// Runs body in a child process as nobody when this process is root, as this user otherwise.
// Returns body's result (0 for success), or 255 when the child could not be run.
inline int run_unprivileged(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return 255;
    if (pid == 0) {
        if (::geteuid() == 0) {
            const gid_t g = nobody_gid();
            if (::setgroups(0, nullptr) != 0 || ::setresgid(g, g, g) != 0 ||
                ::setresuid(nobody_uid(), nobody_uid(), nobody_uid()) != 0)
                ::_exit(254);
        }
        ::_exit(body() & 0xFF);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return 255;
    return WEXITSTATUS(status);
}

// Hands a path to nobody (when root), so the unprivileged child owns it.
inline bool give_to_nobody(const QByteArray& path)
{
    return ::geteuid() != 0 || ::lchown(path.constData(), nobody_uid(), nobody_gid()) == 0;
}

} // namespace pelmora::test
