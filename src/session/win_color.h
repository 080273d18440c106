// SPDX-License-Identifier: GPL-3.0-or-later
// Colours as the design states them: 0x00BBGGRR values, where a value with the top bit set
// names a system colour (window background, button face, ...).
#pragma once

#include <QColor>
#include <QPalette>
#include <cstdint>

namespace pelmora {

using WinColor = std::uint32_t;

namespace wincolor {
inline constexpr WinColor None = 0xFFFFFFFFu;   // "no colour set": the view's default
inline constexpr WinColor Window = 0x80000005u; // system window background
inline constexpr WinColor InactiveBorder = 0x8000000Bu;
inline constexpr WinColor ButtonFace = 0x8000000Fu;
inline constexpr WinColor HeaderText = 0xC00000u; // dark blue grid headings
inline constexpr WinColor FolderCell = 0xFFFF80u; // light cyan folder cells
inline constexpr WinColor Selected = 0x80FFFFu;   // light yellow selected file name
inline constexpr WinColor Failure = 0xC0C0FFu;    // light red failure row
inline constexpr WinColor BlinkBlue = 0xFF0000u;
} // namespace wincolor

inline bool is_system_color(WinColor c)
{
    return c != wincolor::None && (c & 0x80000000u) != 0;
}

// Resolves a colour value against a palette (system colours) or its RGB bytes.
inline QColor to_qcolor(WinColor c, const QPalette& palette = QPalette())
{
    if (c == wincolor::None)
        return {};
    if (is_system_color(c)) {
        switch (c & 0xFFu) {
        case 5:
            return palette.color(QPalette::Base);
        case 11:
        case 15:
            return palette.color(QPalette::Button);
        default:
            return palette.color(QPalette::Window);
        }
    }
    return QColor(int(c & 0xFFu), int((c >> 8) & 0xFFu), int((c >> 16) & 0xFFu));
}

} // namespace pelmora
