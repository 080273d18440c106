// SPDX-License-Identifier: GPL-3.0-or-later
// Message boxes in the program's style: caption "PelmoraVer1.1", one icon, OK or Yes/No.
// The windows ask through this interface so tests can answer from a script.
#pragma once

#include <QString>

namespace pelmora {

enum class MsgIcon { Information, Exclamation, Critical, Question };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

inline constexpr auto kAppTitle = "PelmoraVer1.1";

class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    // Blocks until the user answered; OK boxes always answer MsgAnswer::Ok.
    virtual MsgAnswer show(const QString& text, MsgIcon icon, MsgButtons buttons) = 0;

    void inform(const QString& text) { show(text, MsgIcon::Information, MsgButtons::Ok); }
    void warn(const QString& text) { show(text, MsgIcon::Exclamation, MsgButtons::Ok); }
    bool confirm(const QString& text)
    {
        return show(text, MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes;
    }
};

} // namespace pelmora
