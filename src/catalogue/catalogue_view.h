// SPDX-License-Identifier: GPL-3.0-or-later
// The labels and the column that only listing a root writes. The pointer, the wait window and
// the grid's redraw go through the main window's MainView, as for every other caller; these
// stay apart because nothing else touches them. The benchmarks use a silent one.
#pragma once

#include "session/main_view.h"

#include <QString>

namespace pelmora {

class CatalogueView
{
public:
    virtual ~CatalogueView() = default;
    virtual void set_count_text(const QString& text) = 0;   // Label_Count
    virtual void set_current_path(const QString& path) = 0; // Label_CurrentPath
    virtual void clear_preview_labels() = 0;                // lbl_filename, lbl_lastup
    virtual void set_folder_column_width(int twips) = 0;
};

// A listing with no window around it, for the benchmarks: the labels and the main view.
class SilentCatalogueView final : public CatalogueView, public MainView
{
public:
    void set_count_text(const QString& text) override { countText = text; }
    void set_current_path(const QString&) override {}
    void clear_preview_labels() override {}
    void set_folder_column_width(int) override {}
    void set_busy_pointer(bool) override {}
    void show_wait(bool) override {}
    void set_grid_redraw(bool) override {}
    void set_commands_enabled(bool) override {}
    void start_blink() override {}
    bool single_mode() const override { return true; }
    QString countText;
};

} // namespace pelmora
