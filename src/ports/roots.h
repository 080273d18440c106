// SPDX-License-Identifier: GPL-3.0-or-later
// The roots a user can list, in place of drive letters: the home folder first, then every
// mounted file system a user would browse.
#pragma once

#include "base/path.h"

#include <QList>
#include <QString>

namespace pelmora {

struct Root
{
    Path path;     // absolute, ends with "/"
    QString label; // shown after the path, e.g. the volume name or file-system type
    // The text shown in a root list: it always begins with the root path.
    QString display_text() const
    {
        const QString shown = path.readable();
        return label.isEmpty() ? shown : shown + QStringLiteral("  [") + label + QLatin1Char(']');
    }
};

class RootProvider
{
public:
    virtual ~RootProvider() = default;
    virtual QList<Root> roots() const = 0;
};

} // namespace pelmora
