// SPDX-License-Identifier: GPL-3.0-or-later
// Paths in tests: lists written as texts, and the carried texts in a failure message.
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

inline QStringList texts(const PathList& l)
{
    QStringList t;
    t.reserve(l.size());
    for (const Path& p : l)
        t.append(p.text());
    return t;
}

inline char* toString(const Path& p)
{
    return QTest::toString(p.text());
}

} // namespace pelmora
