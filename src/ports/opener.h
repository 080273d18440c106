// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a document in the application the desktop associates with it.
#pragma once

#include "base/path.h"

#include <functional>

namespace pelmora {

class Opener
{
public:
    virtual ~Opener() = default;
    // Asks the desktop to open path. done(accepted) runs later on this thread, never inside
    // open(): accepted is false when the request was refused (no file, no desktop opener, or
    // the opener reported failure, e.g. no application is associated). The program neither
    // waits for nor tracks the application.
    virtual void open(const Path& path, std::function<void(bool accepted)> done) = 0;
};

} // namespace pelmora
