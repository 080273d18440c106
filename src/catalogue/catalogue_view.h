// SPDX-License-Identifier: GPL-3.0-or-later
// What listing a root needs of the main window: labels, the wait window, the pointer and
// the grid's redraw switch. The benchmark and tests use a silent one.
#pragma once

#include <QString>

namespace pelmora {

class CatalogueView
{
public:
    virtual ~CatalogueView() = default;
    virtual void set_count_text(const QString& text) = 0;   // Label_Count
    virtual void set_current_path(const QString& path) = 0; // Label_CurrentPath
    virtual void set_busy_pointer(bool busy) = 0;           // hourglass while listing
    virtual void show_wait(bool shown) = 0;                 // Wait_Frm
    virtual void clear_preview_labels() = 0;                // lbl_filename, lbl_lastup
    virtual void set_grid_redraw(bool on) = 0;
    virtual void set_folder_column_width(int twips) = 0;
};

class SilentCatalogueView final : public CatalogueView
{
public:
    void set_count_text(const QString& text) override { countText = text; }
    void set_current_path(const QString&) override {}
    void set_busy_pointer(bool) override {}
    void show_wait(bool) override {}
    void clear_preview_labels() override {}
    void set_grid_redraw(bool) override {}
    void set_folder_column_width(int) override {}
    QString countText;
};

} // namespace pelmora
