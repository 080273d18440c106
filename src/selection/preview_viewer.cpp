// SPDX-License-Identifier: GPL-3.0-or-later
#include "selection/preview_viewer.h"

#include "ports/preview_renderer.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <array>

namespace pelmora {

namespace {
// A page at about 100 % on a common screen: an A4 page is 595 points wide.
constexpr int kPageWidth = 900;
constexpr int kPageHeight = kPageWidth * 3 / 2;
constexpr std::array kZooms{0.5, 0.67, 0.8, 1.0, 1.25, 1.5, 2.0, 3.0};
constexpr int kUnitZoom = 3;
constexpr int kGap = 12; // grey between pages
} // namespace

PreviewViewer::PreviewViewer(PreviewRenderer& renderer, QWidget* parent)
    : QDialog(parent), m_renderer(renderer), m_scroll(new QScrollArea(this)),
      m_sheet(new QWidget(m_scroll)), m_column(new QVBoxLayout(m_sheet)), m_zoom(kUnitZoom)
{
    setObjectName(QStringLiteral("PreviewViewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    m_column->setContentsMargins(kGap, kGap, kGap, kGap);
    m_column->setSpacing(kGap);
    m_column->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_scroll->setWidget(m_sheet);
    m_scroll->setWidgetResizable(true);
    m_scroll->setAlignment(Qt::AlignHCenter);
    m_scroll->setAccessibleName(QStringLiteral("拡大プレビュー"));
    m_scroll->viewport()->installEventFilter(this);
    m_scroll->setToolTip(QStringLiteral("Ctrl+ホイールまたは + / - / 0 で拡大・縮小します"));
    connect(m_scroll->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { draw_visible(); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scroll);
    QSize size(kPageWidth + 2 * kGap + 40, 1000);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 9 / 10);
    resize(size);
}

double PreviewViewer::zoom() const
{
    return kZooms.at(std::size_t(m_zoom));
}

int PreviewViewer::page_width() const
{
    return qRound(kPageWidth * zoom());
}

bool PreviewViewer::page_drawn(int index) const
{
    return index >= 0 && std::size_t(index) < m_drawn.size() && m_drawn[std::size_t(index)];
}

QLabel* PreviewViewer::add_page()
{
    auto* label = new QLabel(m_sheet);
    label->setObjectName(QStringLiteral("PreviewViewerPage"));
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("background: #ffffff;"));
    label->setMinimumSize(m_page_size);
    label->setAccessibleName(
        QStringLiteral("拡大プレビュー画像：%1 ページ目").arg(m_labels.size() + 1));
    m_column->addWidget(label, 0, Qt::AlignHCenter);
    m_labels.push_back(label);
    m_drawn.push_back(false);
    return label;
}

void PreviewViewer::show_document(const Path& path, int page)
{
    m_path = path;
    const unsigned generation = ++m_generation;
    for (QLabel* label : m_labels)
        delete label;
    m_labels.clear();
    m_drawn.clear();
    m_page_size = QSize(page_width(), qRound(kPageHeight * zoom()));
    setWindowTitle(path.readable());
    QLabel* first = add_page();
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(m_page_size) * ratio).toSize();
    PreviewResult result = m_renderer.render_page(PageRequest{path, pixels, 0, false});
    if (generation != m_generation || result.error == PreviewError::Superseded)
        return;
    if (!result.ok()) {
        first->setText(result.message);
        first->setAccessibleName(QStringLiteral("拡大プレビュー画像：") + result.message);
        return;
    }
    result.image.setDevicePixelRatio(ratio);
    m_page_size = result.image.deviceIndependentSize().toSize();
    first->setPixmap(QPixmap::fromImage(result.image));
    first->setMinimumSize(m_page_size);
    m_drawn.front() = true;

    // The viewer is for reading on: the whole document is read now, for its page count.
    const PreviewResult more = m_renderer.render_page(PageRequest{path, pixels, 1, false});
    if (generation != m_generation)
        return;
    const int count = more.ok() ? qMax(1, more.page_count) : 1;
    for (int i = 1; i < count; ++i)
        add_page();
    setWindowTitle(path.readable() + QStringLiteral(" - %1 ページ").arg(count));
    m_column->activate();
    m_sheet->adjustSize();
    const QLabel* target = m_labels.at(std::size_t(qBound(0, page, count - 1)));
    m_scroll->verticalScrollBar()->setValue(target->y() - kGap);
    draw_visible();
}

void PreviewViewer::draw_visible()
{
    if (m_drawing) {
        m_again = true;
        return;
    }
    m_drawing = true;
    const unsigned generation = m_generation;
    const qreal ratio = devicePixelRatioF();
    do {
        m_again = false;
        const int top = m_scroll->verticalScrollBar()->value();
        const int height = m_scroll->viewport()->height();
        for (std::size_t i = 0; i < m_labels.size() && !m_again; ++i) {
            QLabel* label = m_labels[i];
            const int y = label->y();
            const int bottom = y + label->height();
            if (bottom < top - 3 * height || y > top + 4 * height) {
                if (m_drawn[i]) { // far out of view: its memory goes
                    label->setPixmap(QPixmap());
                    m_drawn[i] = false;
                }
                continue;
            }
            if (m_drawn[i] || bottom < top - height / 2 || y > top + height + height / 2)
                continue;
            const QSize pixels = (QSizeF(m_page_size) * ratio).toSize();
            PreviewResult result =
                m_renderer.render_page(PageRequest{m_path, pixels, int(i), false});
            if (generation != m_generation)
                break;
            m_drawn[i] = true;
            if (!result.ok()) {
                label->setText(result.message);
                continue;
            }
            result.image.setDevicePixelRatio(ratio);
            label->setPixmap(QPixmap::fromImage(result.image));
            label->setMinimumSize(result.image.deviceIndependentSize().toSize());
        }
    } while (m_again && generation == m_generation);
    m_drawing = false;
}

void PreviewViewer::zoom_by(int steps)
{
    const int zoom = qBound(0, m_zoom + steps, int(kZooms.size()) - 1);
    if (zoom == m_zoom || m_labels.empty())
        return;
    const double scale = kZooms.at(std::size_t(zoom)) / this->zoom();
    m_zoom = zoom;
    QScrollBar* bar = m_scroll->verticalScrollBar();
    const double at = bar->maximum() > 0 ? double(bar->value()) / bar->maximum() : 0.0;
    m_page_size = (QSizeF(m_page_size) * scale).toSize();
    for (std::size_t i = 0; i < m_labels.size(); ++i) {
        QLabel* label = m_labels[i];
        const QSize size = (QSizeF(label->minimumSize()) * scale).toSize();
        if (m_drawn[i] && !label->pixmap().isNull())
            label->setPixmap(QPixmap());
        m_drawn[i] = false;
        label->setMinimumSize(size);
    }
    m_column->activate();
    m_sheet->adjustSize();
    bar->setValue(qRound(at * bar->maximum()));
    draw_visible();
}

void PreviewViewer::zoom_reset()
{
    zoom_by(kUnitZoom - m_zoom);
}

bool PreviewViewer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Wheel) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        if ((wheel->modifiers() & Qt::ControlModifier) && wheel->angleDelta().y() != 0) {
            zoom_by(wheel->angleDelta().y() > 0 ? 1 : -1);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void PreviewViewer::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoom_by(1);
        return;
    case Qt::Key_Minus:
        zoom_by(-1);
        return;
    case Qt::Key_0:
        zoom_reset();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

} // namespace pelmora
