// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the first page of a PDF on white at a given width, the height following the page's
// proportions. Safe to call on a worker thread: it touches nothing shared.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace pelmora {

struct DrawnPage
{
    QImage image;     // RGB32, exactly width pixels wide; null on failure
    QString why;      // what went wrong, for the log
    bool cut = false; // the page was taller than the bounds: only its top is drawn
};

// Whatever the page's shape, a picture never exceeds these: a sliver of a page would
// otherwise ask for gigabytes.
inline constexpr int kMaxPageHeight = 16384;
inline constexpr qint64 kMaxPagePixels = 24LL * 1024 * 1024;

DrawnPage draw_first_page(const QByteArray& pdf, int width);

} // namespace pelmora
