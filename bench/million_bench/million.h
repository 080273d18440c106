// SPDX-License-Identifier: GPL-3.0-or-later
// A million hits through the window's own path: a scan of a synthetic tree delivered in
// batches, the rows shown in a table view, the sort by folder, a switch away and back, the
// filter typed into, and Refresh scans with and without the rows shown as they come.
#pragma once

namespace pelmora::bench {

// Prints the largest event-loop stall and the bytes per remembered hit, then the filter box's
// time per keystroke and the cost of showing a scan's rows as they come (rounds scans each
// way). Meant to run in a process of its own, so the allocator figures hold nothing but this
// listing.
int run_million(long hits, int rounds);

} // namespace pelmora::bench
