// SPDX-License-Identifier: GPL-3.0-or-later
// Process groups for helper programs that start children of their own (LibreOffice's
// launcher script, oosplash, soffice.bin): the group is signalled as one, and each member
// ends when the program that started it ends.
#pragma once

#include <QtGlobal>

namespace pelmora::process_group {

// For the forked child before exec: makes it the leader of a new session and process group,
// and asks the kernel for SIGTERM when the parent thread dies.
void become_leader_dying_with_parent();

// Sends sig to every process of the group led by leader; leader <= 0 does nothing.
void signal(qint64 leader, int sig);

// Whether any process of the group still runs. Zombies do not count: they only wait for
// their reaper, which on a busy system can take a second or more.
bool alive(qint64 leader);

} // namespace pelmora::process_group
