// SPDX-License-Identifier: GPL-3.0-or-later
// What the logic asks of the main window: the hourglass, the wait window, the grid's redraw,
// the controls that start a command, the Refresh button's blink and the selection mode. The
// listing, the selection and the commands reach the window through this one interface only.
#pragma once

namespace pelmora {

class MainView
{
public:
    virtual ~MainView() = default;
    // Calls nest: the pointer comes back when the last caller that asked for it is done (a
    // copy may run during a scan).
    virtual void set_busy_pointer(bool busy) = 0;
    virtual void show_wait(bool shown) = 0;    // Wait_Frm
    virtual void set_grid_redraw(bool on) = 0; // grd1
    // False when a command starts and true when it ends: meanwhile whatever would start
    // another one, or rescan under it, is off.
    virtual void set_commands_enabled(bool on) = 0;
    // Starts (or restarts) the Refresh button's blink after a finished command.
    virtual void start_blink() = 0;
    // Single selection (opt_f_0) rather than multiple (opt_f_1).
    virtual bool single_mode() const = 0;
};

} // namespace pelmora
