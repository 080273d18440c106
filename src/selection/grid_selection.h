// SPDX-License-Identifier: GPL-3.0-or-later
// Clicks on the result grid and on the selection-mode buttons: single selection (highlight,
// labels, live preview) or multiple selection (the clicked paths collected in click order).
#pragma once

#include "base/path.h"

#include <QObject>
#include <array>

class QAction;
class QCheckBox;
class QLabel;

namespace pelmora {

struct QRV_Public;
class ResultTableModel;
class PreviewPane;
class EventYield;
class MessageBoxes;
class FileSystem;
class MainView;

struct SelectionControls
{
    MainView* window = nullptr; // the selection mode, the wait window, the grid's redraw
    QCheckBox* chk = nullptr;
    QLabel* lbl_filename = nullptr;
    QLabel* lbl_lastup = nullptr;
    // p_lha, p_filemove, p_filecopy, p_dust: switched together, in this order.
    std::array<QAction*, 4> fileItems{};
};

class GridSelection final : public QObject
{
    Q_OBJECT
public:
    GridSelection(QRV_Public& session, ResultTableModel& grid, PreviewPane& pane, EventYield& yield,
                  MessageBoxes& messages, FileSystem& files, SelectionControls controls,
                  QObject* parent = nullptr);

    // row: the clicked grid row, 1 for the first file (0 is the header row).
    void grd1_Click(qsizetype row);
    void opt_f_Click();
    void chk_Click();

    // True when sel_dir names no file (blank, or the folder column's heading).
    bool nothing_selected() const;
    // How many different files multiple mode has marked.
    qsizetype marked_count() const;
    bool is_marked(qsizetype row) const;

Q_SIGNALS:
    void marks_changed(qsizetype count);

private:
    // The folder and name cells of a grid row (0 for the first file).
    Path row_folder(qsizetype index) const;
    Path row_name(qsizetype index) const;
    // True when the folder is the folder column's heading, which a click on the header row
    // leaves in sel_dir.
    static bool shows_heading(const Path& folder);
    void click_single(qsizetype row);
    void click_multiple(qsizetype row);
    void fill_labels();
    // Shows the selected file in the pane; false when the link failed.
    bool show_preview();
    void set_file_items_enabled(bool on);

    QRV_Public& m_session;
    ResultTableModel& m_grid;
    PreviewPane& m_pane;
    EventYield& m_yield;
    MessageBoxes& m_messages;
    FileSystem& m_files;
    SelectionControls m_controls;
};

} // namespace pelmora
