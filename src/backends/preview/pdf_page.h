// SPDX-License-Identifier: GPL-3.0-or-later
// Draws one page of a PDF on white at a given width, the height following the page's
// proportions; cropped, only the inked part of the page (plus a margin) is drawn to that
// width. Safe to call on a worker thread: it touches nothing shared.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QRectF>
#include <QString>

namespace pelmora {

struct DrawnPage
{
    QImage image;     // RGB32, exactly width pixels wide; null on failure
    QString why;      // what went wrong, for the log
    bool cut = false; // the page was taller than the bounds: only its top is drawn
    int page = 0;     // the page drawn (the last one when a later page was asked for)
    int page_count = 0;
};

// Whatever the page's shape, a picture never exceeds these: a sliver of a page would
// otherwise ask for gigabytes.
inline constexpr int kMaxPageHeight = 16384;
inline constexpr qint64 kMaxPagePixels = 24LL * 1024 * 1024;

// The crop never shows less than this share of the page's width, so a page holding one word
// is not blown up to a poster.
inline constexpr double kMinCropShare = 0.45;
// White kept around the ink, in points (about 5 mm).
inline constexpr double kCropMargin = 14.0;

DrawnPage draw_page(const QByteArray& pdf, int index, int width, bool crop = false);

// The inked part of a picture of a page, in the picture's pixels: the bounds of every pixel
// that is not near white, less a lone line in the bottom or top margin that stands far
// from the rest (a running footer such as a page number, or a header). Null when blank.
QRect inked_rect(const QImage& picture);

} // namespace pelmora
