// SPDX-License-Identifier: GPL-3.0-or-later
// The wall clock, behind an interface so history time stamps can be tested.
#pragma once

#include <QDateTime>

namespace pelmora {

class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

} // namespace pelmora
