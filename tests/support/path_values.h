// SPDX-License-Identifier: GPL-3.0-or-later
// Paths in tests: lists written as texts, and the carried text in a failure message.
#pragma once

#include "base/path.h"

#include <QStringList>
#include <QTest>

namespace pelmora {

inline PathList paths(const QStringList& texts)
{
    PathList l;
    l.reserve(texts.size());
    for (const QString& t : texts)
        l.append(Path(t));
    return l;
}

inline char* toString(const Path& p)
{
    return QTest::toString(p.text());
}

} // namespace pelmora
