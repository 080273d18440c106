// SPDX-License-Identifier: GPL-3.0-or-later
// Lets the window system run the events that are waiting, then returns.
#pragma once

#include "ports/event_yield.h"

#include <QCoreApplication>

namespace pelmora {

class QtEventYield final : public EventYield
{
public:
    void process_pending() override { QCoreApplication::processEvents(); }
};

} // namespace pelmora
