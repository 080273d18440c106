// SPDX-License-Identifier: GPL-3.0-or-later
// A list of paths as the commands use it (sel_marks, undo_src, undo_dst): never empty, and
// "nothing" is one empty path.
#pragma once

#include "base/path.h"

namespace pelmora {

inline PathList empty_path_list()
{
    return PathList{Path()};
}

// True when the list holds nothing: exactly one element that is blank.
inline bool path_list_is_empty(const PathList& l)
{
    return l.size() <= 1 && (l.isEmpty() || l.front().is_blank());
}

} // namespace pelmora
