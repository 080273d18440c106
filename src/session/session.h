// SPDX-License-Identifier: GPL-3.0-or-later
// The session state of one run: what was clicked, which root and type are listed, the
// result cache, the dialog hand-over values, the undo journal and the blink counter.
// Windows share it through one instance that lives for the whole run; nothing is saved.
#pragma once

#include "base/path.h"
#include "session/doc_type.h"
#include "session/path_list.h"
#include "session/result_cache.h"
#include "session/undo_journal.h"

#include <QString>

namespace pelmora {

// What the destination chooser is opened for.
enum class DlgMode : int { None = 0, Compress = 1, Copy = 2, Move = 3 };

struct QRV_Public
{
    bool op_handed_over = false;
    Path sel_file; // a bare name
    Path sel_dir;  // a folder ending with its separator
    qsizetype cur_row = 0;
    qsizetype prev_row = 0;
    qsizetype hit_count = 0;
    int drive_listed = 0;
    QString list_key; // cache key of the scan in progress (root + type letter)
    DocType doc_type;
    ResultCache cache;
    PathList sel_marks = empty_path_list(); // full paths, in click order
    int dlg_cancel = 0;
    Path dest_dir;     // ends with its separator once a command has read it
    Path archive_name; // the base name typed, without ".LZH"
    DlgMode dlg_mode = DlgMode::None;
    UndoJournal undo; // undo_kind, undo_src, undo_dst
    // True while a file command (copy, move, trash, compression, undo, print) runs; another
    // one does not start then.
    bool command_running = false;
    int blink_count = 0;
    qsizetype grid_row = 0;

    // True when the last click named no file (the check before a command on the selection).
    bool no_file_selected() const { return sel_dir.is_blank() || sel_file.is_blank(); }
    // The file of the last click: the folder immediately followed by the name.
    Path sel_path() const { return sel_dir + sel_file; }

    // Start values set by the main window's load handler.
    void reset_for_start();
};

} // namespace pelmora
