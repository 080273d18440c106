// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the benchmark's deterministic test tree.
#pragma once

#include <string>

namespace pelmora::bench {

struct TreeStats
{
    long files = 0;
    long folders = 0;
    long excel = 0; // files the walker must list for XLS
    long word = 0;  // files the walker must list for DOC
};

// files in about files/10 folders, about 2% documents, with decoys: "a.b.xls" names,
// dot folders holding documents, folders named like documents.
TreeStats make_tree(const std::string& root, long files);

} // namespace pelmora::bench
