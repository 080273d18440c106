// SPDX-License-Identifier: GPL-3.0-or-later
// Gives a control its design name (the object name tests and style sheets find it by).
#pragma once

#include <QLatin1String>

namespace pelmora {

template <typename W> W* named(W* w, const char* name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

} // namespace pelmora
