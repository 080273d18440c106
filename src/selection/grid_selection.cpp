// SPDX-License-Identifier: GPL-3.0-or-later
#include "selection/grid_selection.h"

#include "base/path.h"
#include "catalogue/result_table_model.h"
#include "ports/event_yield.h"
#include "ports/file_system.h"
#include "ports/message_box.h"
#include "selection/date_text.h"
#include "selection/preview_pane.h"
#include "session/main_view.h"
#include "session/session.h"

#include <QAction>
#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QSet>

namespace pelmora {

GridSelection::GridSelection(QRV_Public& session, ResultTableModel& grid, PreviewPane& pane,
                             EventYield& yield, MessageBoxes& messages, FileSystem& files,
                             SelectionControls controls, QObject* parent)
    : QObject(parent), m_session(session), m_grid(grid), m_pane(pane), m_yield(yield),
      m_messages(messages), m_files(files), m_controls(controls)
{}

// The grid holds each path as its text; a cell becomes a path here.
Path GridSelection::row_folder(qsizetype index) const
{
    return Path(m_grid.text(index, ResultTableModel::FolderColumn));
}

Path GridSelection::row_name(qsizetype index) const
{
    return Path(m_grid.text(index, ResultTableModel::NameColumn));
}

bool GridSelection::shows_heading(const Path& folder)
{
    return folder.readable().trimmed() == kFolderColumnHeading;
}

bool GridSelection::nothing_selected() const
{
    return m_session.sel_dir.is_blank() || shows_heading(m_session.sel_dir);
}

qsizetype GridSelection::marked_count() const
{
    QSet<Path> marks;
    for (const Path& m : m_session.sel_marks) {
        if (!m.is_blank())
            marks.insert(m);
    }
    return marks.size();
}

bool GridSelection::is_marked(qsizetype row) const
{
    if (row < 1 || row > m_grid.size())
        return false;
    return m_session.sel_marks.contains(row_folder(row - 1) + row_name(row - 1));
}

void GridSelection::set_file_items_enabled(bool on)
{
    for (QAction* a : m_controls.fileItems) {
        if (a)
            a->setEnabled(on);
    }
}

void GridSelection::grd1_Click(qsizetype row)
{
    if (shows_heading(m_session.sel_dir))
        return;
    if (m_grid.size() < 1 || row < 1 || row > m_grid.size())
        return;
    set_file_items_enabled(true);
    if (m_controls.window->single_mode())
        click_single(row);
    else
        click_multiple(row);
}

void GridSelection::click_single(qsizetype row)
{
    m_session.sel_dir = row_folder(row - 1);
    m_session.sel_file = row_name(row - 1);
    m_session.prev_row = m_session.cur_row;
    m_session.cur_row = row;
    if (m_session.prev_row != 0)
        m_grid.set_cell_background(m_session.prev_row - 1, ResultTableModel::NameColumn,
                                   wincolor::Window);
    if (m_session.cur_row != 0)
        m_grid.set_cell_background(m_session.cur_row - 1, ResultTableModel::NameColumn,
                                   wincolor::Selected);
    fill_labels();
    if (!m_controls.chk->isChecked())
        return;
    // Failures on this path are silent: the wait window still goes away.
    show_preview();
}

void GridSelection::click_multiple(qsizetype row)
{
    m_session.cur_row = row;
    m_grid.set_cell_background(row - 1, ResultTableModel::NameColumn, wincolor::Selected);
    m_session.sel_dir = row_folder(row - 1);
    m_session.sel_file = row_name(row - 1);
    const Path path = m_session.sel_path();
    // Nothing marked is one blank element: the first mark takes its place.
    if (!m_session.sel_marks.isEmpty() && m_session.sel_marks.front().is_blank())
        m_session.sel_marks.front() = path;
    else
        m_session.sel_marks.append(path);
    Q_EMIT marks_changed(marked_count());
}

void GridSelection::fill_labels()
{
    const Path file = m_session.sel_dir.child(m_session.sel_file.text());
    m_controls.lbl_filename->setText(m_session.sel_file.readable());
    // By the exact bytes: Qt's file classes would miss a Shift_JIS name. A file that is gone
    // leaves the previous date in place.
    const PathStat now = m_files.stat(file, false);
    if (now.identity.valid)
        m_controls.lbl_lastup->setText(
            general_date_text(QDateTime::fromMSecsSinceEpoch(now.identity.mtime_ns / 1000000)));
}

bool GridSelection::show_preview()
{
    m_yield.process_pending();
    m_controls.window->show_wait(true);
    if (!m_pane.source_document().is_empty())
        m_pane.close_and_discard();
    const bool linked = m_pane.link(m_session.sel_path());
    m_controls.window->show_wait(false);
    return linked;
}

void GridSelection::chk_Click()
{
    if (m_controls.chk->isChecked())
        m_pane.prepare(); // the office takes seconds to start: begin before the first click
    if (!m_controls.window->single_mode())
        return;
    if (nothing_selected())
        return;
    if (m_controls.chk->isChecked()) {
        if (!show_preview()) {
            m_controls.window->show_wait(false);
            m_messages.show(QStringLiteral("ファイルのプレビューまたはクリアに失敗しました"),
                            MsgIcon::Critical, MsgButtons::Ok);
        }
        return;
    }
    m_pane.close_and_discard();
    m_pane.reset();
}

void GridSelection::opt_f_Click()
{
    m_controls.window->set_grid_redraw(false);
    m_grid.set_all_name_backgrounds(wincolor::Window);
    m_controls.window->set_grid_redraw(true);
    m_pane.reset();
    if (m_controls.window->single_mode())
        m_session.sel_marks = empty_path_list();
    m_session.prev_row = 0;
    m_session.cur_row = 0;
    set_file_items_enabled(false);
    Q_EMIT marks_changed(marked_count());
}

} // namespace pelmora
