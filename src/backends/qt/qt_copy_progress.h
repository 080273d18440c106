// SPDX-License-Identifier: GPL-3.0-or-later
// Copy progress on a Qt progress dialog that appears only when a copy runs over a second.
#pragma once

#include "ports/shell.h"

#include <QPointer>
#include <QWidget>

namespace pelmora {

class QtCopyProgressFactory final : public CopyProgressFactory
{
public:
    static constexpr int kShowAfterMs = 1000;

    void set_owner(QWidget* owner) { m_owner = owner; }
    std::unique_ptr<CopyProgress> begin(const Path& src, const Path& dst, qint64 total,
                                        Transfer kind) override;

private:
    QPointer<QWidget> m_owner;
};

} // namespace pelmora
