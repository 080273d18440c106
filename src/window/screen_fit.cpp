// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/screen_fit.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace pelmora {

void fit_to_screen(QWidget* window)
{
    if (window == nullptr || !window->isWindow())
        return;
    const QScreen* screen = window->screen();
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QRect room = screen->availableGeometry();
    // The frame is known once a window manager has framed the window; until then it is none.
    const QSize frame = window->frameGeometry().size() - window->geometry().size();
    const QSize wanted = window->size().boundedTo(room.size() - frame);
    if (wanted != window->size())
        window->resize(wanted.expandedTo(window->minimumSize()));
    QRect outer(window->frameGeometry().topLeft(), window->size() + frame);
    if (outer.right() > room.right())
        outer.moveRight(room.right());
    if (outer.bottom() > room.bottom())
        outer.moveBottom(room.bottom());
    if (outer.left() < room.left())
        outer.moveLeft(room.left());
    if (outer.top() < room.top())
        outer.moveTop(room.top());
    if (outer.topLeft() != window->frameGeometry().topLeft())
        window->move(outer.topLeft());
}

bool FitShownWindows::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        // Menus, tooltips and combo lists place themselves.
        const Qt::WindowType type = widget->windowType();
        if (type == Qt::Window || type == Qt::Dialog || type == Qt::Tool)
            fit_to_screen(widget);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace pelmora
