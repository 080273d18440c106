// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps windows on the screen: a window is never larger than the room its screen leaves for
// windows (at any scale factor) and never opens partly outside that room.
#pragma once

#include <QObject>

class QWidget;

namespace pelmora {

// Shrinks the window to its screen's available geometry, as far as its minimum size allows,
// and moves it inside.
void fit_to_screen(QWidget* window);

// Installed on the application: fits every window as it is shown.
class FitShownWindows final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace pelmora
