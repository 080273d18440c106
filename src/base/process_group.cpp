// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/process_group.h"

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>

namespace pelmora::process_group {

void become_leader_dying_with_parent()
{
    ::setsid();
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
}

void signal(qint64 leader, int sig)
{
    if (leader > 0)
        ::kill(-static_cast<pid_t>(leader), sig);
}

namespace {

// State and process group of one /proc entry: "pid (comm) state ppid pgrp ...", where comm
// may hold blanks and parentheses.
bool running_in_group(int proc_fd, const char* pid, qint64 leader)
{
    const std::string name = std::string(pid) + "/stat";
    const int fd = ::openat(proc_fd, name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[512];
    const ssize_t got = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (got <= 0)
        return false;
    buffer[got] = '\0';
    const std::string line(buffer, static_cast<std::size_t>(got));
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos || close + 2 >= line.size())
        return false;
    const char state = line[close + 2];
    // Skip state and ppid to reach pgrp.
    std::size_t field = close + 2;
    for (int skip = 0; skip < 2 && field != std::string::npos; ++skip)
        field = line.find(' ', field + 1);
    if (field == std::string::npos)
        return false;
    const qint64 group = std::strtoll(line.c_str() + field + 1, nullptr, 10);
    return group == leader && state != 'Z';
}

} // namespace

bool alive(qint64 leader)
{
    if (leader <= 0 || ::kill(-static_cast<pid_t>(leader), 0) != 0)
        return false;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr)
        return true; // the group answered the signal test
    bool found = false;
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        if (running_in_group(::dirfd(proc), entry->d_name, leader)) {
            found = true;
            break;
        }
    }
    ::closedir(proc);
    return found;
}

} // namespace pelmora::process_group
