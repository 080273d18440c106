// SPDX-License-Identifier: GPL-3.0-or-later
// "Let pending window events run": the handlers call this at the fixed points where the
// design lets other events in.
#pragma once

namespace pelmora {

class EventYield
{
public:
    virtual ~EventYield() = default;
    virtual void process_pending() = 0;
};

} // namespace pelmora
