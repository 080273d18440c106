// SPDX-License-Identifier: GPL-3.0-or-later
#include "selection/preview_viewer.h"

#include "base/native_path.h"
#include "ports/preview_renderer.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace pelmora {

namespace {
// Page 1 at about 100 % on a common screen: an A4 page is 595 points wide.
constexpr int kPageWidth = 900;
constexpr int kPageHeight = kPageWidth * 3 / 2;
} // namespace

PreviewViewer::PreviewViewer(PreviewRenderer& renderer, QWidget* parent)
    : QDialog(parent), m_renderer(renderer), m_scroll(new QScrollArea(this)),
      m_page(new QLabel(m_scroll))
{
    setObjectName(QStringLiteral("PreviewViewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    m_page->setObjectName(QStringLiteral("PreviewViewerPage"));
    m_page->setAlignment(Qt::AlignCenter);
    m_page->setWordWrap(true);
    m_page->setStyleSheet(QStringLiteral("background: #ffffff;"));
    m_page->setAccessibleName(QStringLiteral("拡大プレビュー画像"));
    m_scroll->setWidget(m_page);
    m_scroll->setWidgetResizable(true);
    m_scroll->setAlignment(Qt::AlignHCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scroll);
    QSize size(kPageWidth + 40, 1000);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 9 / 10);
    resize(size);
}

void PreviewViewer::show_document(const QString& path)
{
    m_path = path;
    setWindowTitle(native_path::readable(path) + QStringLiteral(" - 1 ページ目"));
    const qreal ratio = devicePixelRatioF();
    PreviewResult result =
        m_renderer.render(path, (QSizeF(kPageWidth, kPageHeight) * ratio).toSize());
    if (result.error == PreviewError::Superseded)
        return;
    if (result.ok()) {
        result.image.setDevicePixelRatio(ratio);
        m_page->setPixmap(QPixmap::fromImage(result.image));
        m_page->setMinimumSize(result.image.deviceIndependentSize().toSize());
        m_page->setAccessibleName(QStringLiteral("拡大プレビュー画像：") + windowTitle());
    } else {
        m_page->setText(result.message);
        m_page->setAccessibleName(QStringLiteral("拡大プレビュー画像：") + result.message);
    }
}

} // namespace pelmora
