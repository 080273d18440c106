// SPDX-License-Identifier: GPL-3.0-or-later
// Message boxes on Qt widgets, captioned with the program's title.
#pragma once

#include "ports/message_box.h"

#include <QPointer>
#include <QWidget>

namespace pelmora {

class QtMessageBoxes final : public MessageBoxes
{
public:
    // Boxes are centred on the owner while it exists, on the active window otherwise.
    void set_owner(QWidget* owner) { m_owner = owner; }
    MsgAnswer show(const QString& text, MsgIcon icon, MsgButtons buttons) override;

private:
    QPointer<QWidget> m_owner;
};

} // namespace pelmora
