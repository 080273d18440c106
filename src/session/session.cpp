// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/session.h"

namespace pelmora {

void QRV_Public::reset_for_start()
{
    grid_row = 0;
    cur_row = 0;
    prev_row = 0;
    hit_count = 0;
    drive_listed = 0;
    doc_type = DocType::excel();
    cache.clear_all();
    sel_marks = empty_path_list();
    undo.clear_paths();
}

} // namespace pelmora
