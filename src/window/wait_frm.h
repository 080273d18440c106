// SPDX-License-Identifier: GPL-3.0-or-later
// The please-wait window shown, without blocking, while a long step runs.
#pragma once

#include <QWidget>

namespace pelmora {

class Wait_Frm final : public QWidget
{
    Q_OBJECT
public:
    explicit Wait_Frm(QWidget* owner);
};

} // namespace pelmora
