// SPDX-License-Identifier: GPL-3.0-or-later
// A million hits through the window's path (scan batches, table view, sort, a switch away and
// back): prints the largest event-loop stall and the heap per remembered hit.
//   million_bench [N]
#include "million.h"

#include <QApplication>
#include <cstdlib>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QApplication app(argc, argv);
    return pelmora::bench::run_million(argc > 1 ? std::atol(argv[1]) : 1000000);
}
