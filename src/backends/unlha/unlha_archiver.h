// SPDX-License-Identifier: GPL-3.0-or-later
// The archiver backend built into the program: the Unlha entry point.
#pragma once

#include "ports/archiver.h"

namespace pelmora {

class UnlhaArchiver final : public Archiver
{
public:
    int run_into(const QByteArray& commandLine, int from, int into, QByteArray& report) override;
    bool verify(int fd) override;
};

} // namespace pelmora
