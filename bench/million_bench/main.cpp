// SPDX-License-Identifier: GPL-3.0-or-later
// A million hits through the window's path (scan batches, table view, sort, a switch away and
// back, the filter box, scans with live rows): prints the largest event-loop stall, the heap per
// remembered hit, the time per keystroke in the filter and the cost of live rows.
//   million_bench [N [ROUNDS]]
#include "million.h"

#include <QApplication>
#include <cstdlib>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QApplication app(argc, argv);
    return pelmora::bench::run_million(argc > 1 ? std::atol(argv[1]) : 1000000,
                                       argc > 2 ? std::atoi(argv[2]) : 1);
}
