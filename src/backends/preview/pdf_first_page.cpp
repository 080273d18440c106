// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/preview/pdf_first_page.h"

#include <QPainter>
#include <memory>
#include <poppler-qt6.h>

namespace pelmora {
namespace {

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

} // namespace

DrawnPage draw_first_page(const QByteArray& pdf, int width)
{
    if (width <= 0)
        return {{}, QStringLiteral("no width to draw at")};
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::loadFromData(pdf);
    if (!document)
        return {{}, QStringLiteral("Poppler cannot open the PDF")};
    if (document->isLocked())
        return {{}, QStringLiteral("the PDF is locked")};
    if (document->numPages() < 1)
        return {{}, QStringLiteral("the PDF has no pages")};
    document->setPaperColor(Qt::white);
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    document->setRenderHint(Poppler::Document::ThinLineShape);

    const std::unique_ptr<Poppler::Page> page = document->page(0);
    if (!page)
        return {{}, QStringLiteral("the first page cannot be read")};
    const QSizeF points = page->pageSizeF();
    if (points.width() <= 0 || points.height() <= 0)
        return {{}, QStringLiteral("the first page has no size")};

    if (width > kMaxPagePixels)
        return {{}, QStringLiteral("the width is beyond the picture bounds")};
    const double full = width * points.height() / points.width();
    const int limit = int(qMin<qint64>(kMaxPageHeight, kMaxPagePixels / width));
    const bool cut = full > limit;
    const QSize target(width, cut ? limit : qMax(1, qRound(full)));
    const double dpi = 72.0 * target.width() / points.width();
    // Only the top of a page cut to the bounds is drawn, so Poppler never holds more.
    QImage image = cut ? page->renderToImage(dpi, dpi, 0, 0, target.width(), target.height())
                       : page->renderToImage(dpi, dpi);
    if (image.isNull())
        return {{}, QStringLiteral("Poppler could not draw the page")};
    image.convertTo(QImage::Format_RGB32);
    // The resolution rounds to whole pixels on Poppler's side; close the last pixel here.
    if (image.size() != target)
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (cut)
        mark_cut(image);
    return {std::move(image), {}, cut};
}

} // namespace pelmora
