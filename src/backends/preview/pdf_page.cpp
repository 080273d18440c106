// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/preview/pdf_page.h"

#include <QPainter>
#include <algorithm>
#include <memory>
#include <poppler-qt6.h>
#include <vector>

namespace pelmora {
namespace {

// The ink is looked for on a small picture of the page: about this many pixels each way.
constexpr double kProbeWidth = 600;
constexpr double kProbeHeight = 2400;
// A channel below this is ink, not paper.
constexpr int kPaper = 240;

// A cut picture says so at its foot, where the reader's eye reaches the missing part; the
// note is part of the picture, so a cached copy keeps it.
void mark_cut(QImage& image)
{
    QPainter painter(&image);
    QFont font = painter.font();
    font.setPixelSize(qBound(10, image.width() / 30, 24));
    painter.setFont(font);
    const int band = QFontMetrics(font).height() * 2;
    const QRect foot(0, image.height() - band, image.width(), band);
    painter.fillRect(foot, QColor(0xFF, 0xF4, 0xC0));
    painter.setPen(Qt::black);
    painter.drawText(foot, Qt::AlignCenter | Qt::TextWordWrap,
                     QStringLiteral("ページが長すぎるため、上の部分だけを表示しています"));
}

bool is_ink(QRgb pixel)
{
    return qRed(pixel) < kPaper || qGreen(pixel) < kPaper || qBlue(pixel) < kPaper;
}

// The part of the page, in points, that the crop shows.
QRectF crop_area(Poppler::Page& page, const QSizeF& points)
{
    const QRectF whole(QPointF(0, 0), points);
    const double probe = std::min(kProbeWidth / points.width(), kProbeHeight / points.height());
    const QImage picture = page.renderToImage(72.0 * probe, 72.0 * probe);
    const QRect ink = picture.isNull() ? QRect() : inked_rect(picture);
    if (ink.isNull())
        return whole;
    QRectF area(ink.left() / probe, ink.top() / probe, ink.width() / probe, ink.height() / probe);
    area.adjust(-kCropMargin, -kCropMargin, kCropMargin, kCropMargin);
    const double narrowest = points.width() * kMinCropShare;
    if (area.width() < narrowest) {
        const double grow = (narrowest - area.width()) / 2;
        area.adjust(-grow, 0, grow, 0);
    }
    // Widened past an edge of the page: shifted back inside rather than cut.
    if (area.left() < 0)
        area.moveLeft(0);
    if (area.right() > points.width())
        area.moveRight(points.width());
    return area & whole;
}

} // namespace

QRect inked_rect(const QImage& picture)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    const int width = rgb.width();
    const int height = rgb.height();
    std::vector<int> left(std::size_t(std::max(0, height)), width);
    std::vector<int> right(std::size_t(std::max(0, height)), -1);
    struct Band
    {
        int top;
        int bottom; // past the last inked row
    };
    std::vector<Band> bands;
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        int x = 0;
        while (x < width && !is_ink(line[x]))
            ++x;
        if (x == width)
            continue;
        left[std::size_t(y)] = x;
        int last = width - 1;
        while (!is_ink(line[last]))
            --last;
        right[std::size_t(y)] = last;
        if (!bands.empty() && bands.back().bottom == y)
            bands.back().bottom = y + 1;
        else
            bands.push_back({y, y + 1});
    }
    if (bands.empty())
        return {};
    // A running header or footer: one thin band in the outer eighth, far from the rest.
    const int gap = height / 20;
    const int thin = height * 3 / 100;
    const int margin = height / 8;
    std::size_t first = 0;
    std::size_t end = bands.size();
    if (end - first > 1) {
        const Band& foot = bands[end - 1];
        if (foot.top >= height - margin && foot.bottom - foot.top <= thin &&
            foot.top - bands[end - 2].bottom >= gap)
            --end;
    }
    if (end - first > 1) {
        const Band& head = bands[first];
        if (head.bottom <= margin && head.bottom - head.top <= thin &&
            bands[first + 1].top - head.bottom >= gap)
            ++first;
    }
    const int top = bands[first].top;
    const int bottom = bands[end - 1].bottom;
    int l = width;
    int r = -1;
    for (int y = top; y < bottom; ++y) {
        l = std::min(l, left[std::size_t(y)]);
        r = std::max(r, right[std::size_t(y)]);
    }
    return QRect(QPoint(l, top), QPoint(r, bottom - 1));
}

DrawnPage draw_page(const QByteArray& pdf, int index, int width, bool crop)
{
    if (width <= 0)
        return {{}, QStringLiteral("no width to draw at")};
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::loadFromData(pdf);
    if (!document)
        return {{}, QStringLiteral("Poppler cannot open the PDF")};
    if (document->isLocked())
        return {{}, QStringLiteral("the PDF is locked")};
    const int count = document->numPages();
    if (count < 1)
        return {{}, QStringLiteral("the PDF has no pages")};
    document->setPaperColor(Qt::white);
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    document->setRenderHint(Poppler::Document::ThinLineShape);

    const int shown = qBound(0, index, count - 1);
    const std::unique_ptr<Poppler::Page> page = document->page(shown);
    if (!page)
        return {{}, QStringLiteral("the page cannot be read")};
    const QSizeF points = page->pageSizeF();
    if (points.width() <= 0 || points.height() <= 0)
        return {{}, QStringLiteral("the page has no size")};
    const QRectF area = crop ? crop_area(*page, points) : QRectF(QPointF(0, 0), points);

    if (width > kMaxPagePixels)
        return {{}, QStringLiteral("the width is beyond the picture bounds")};
    const double scale = width / area.width(); // pixels per point
    const double full = area.height() * scale;
    const int limit = int(qMin<qint64>(kMaxPageHeight, kMaxPagePixels / width));
    const bool cut = full > limit;
    const QSize target(width, cut ? limit : qMax(1, qRound(full)));
    const double dpi = 72.0 * scale;
    // Only the part shown is drawn, so Poppler never holds more.
    const bool whole = !cut && area.topLeft() == QPointF(0, 0) && area.size() == points;
    QImage image =
        whole ? page->renderToImage(dpi, dpi)
              : page->renderToImage(dpi, dpi, qRound(area.x() * scale), qRound(area.y() * scale),
                                    target.width(), target.height());
    if (image.isNull())
        return {{}, QStringLiteral("Poppler could not draw the page")};
    image.convertTo(QImage::Format_RGB32);
    // The resolution rounds to whole pixels on Poppler's side; close the last pixel here.
    if (image.size() != target)
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (cut)
        mark_cut(image);
    return {std::move(image), {}, cut, shown, count};
}

} // namespace pelmora
