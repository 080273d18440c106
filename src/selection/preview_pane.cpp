// SPDX-License-Identifier: GPL-3.0-or-later
#include "selection/preview_pane.h"

#include "base/native_path.h"
#include "ports/preview_renderer.h"
#include "selection/preview_viewer.h"

#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

namespace pelmora {

namespace {

// What a screen reader says for the pane: its name, and the document or the reason shown.
void name_pane(QLabel* pane, const QString& shown = {})
{
    const QString name = QStringLiteral("プレビュー画像");
    pane->setAccessibleName(shown.isEmpty() ? name : name + QStringLiteral("：") + shown);
}

class DoubleClickFilter final : public QObject
{
public:
    explicit DoubleClickFilter(std::function<void()> action) : m_action(std::move(action)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonDblClick) {
            m_action();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_action;
};

} // namespace

PreviewPane::PreviewPane(QLabel* pane, PreviewRenderer* renderer)
    : m_pane(pane), m_renderer(renderer)
{
    m_pane->setWordWrap(true);
    m_pane->setToolTip(QStringLiteral("ダブルクリックで拡大表示します"));
    m_double_click = std::make_unique<DoubleClickFilter>([this] { open_viewer(); });
    m_pane->installEventFilter(m_double_click.get());

    QWidget* frame = m_pane->parentWidget();
    QLayout* layout = frame ? frame->layout() : nullptr;
    if (layout == nullptr)
        return;
    m_scroll = new QScrollArea(frame);
    m_scroll->setObjectName(QStringLiteral("OLE1_scroll"));
    // Scrolled with the wheel or the bar; Tab goes on to the buttons rather than stopping here.
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setAccessibleName(QStringLiteral("プレビュー表示領域"));
    m_scroll->setMinimumSize(m_pane->minimumSize());
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_scroll->setWidgetResizable(true);
    delete layout->replaceWidget(m_pane, m_scroll);
    m_pane->setMinimumSize(0, 0);
    m_scroll->setWidget(m_pane);
}

PreviewPane::~PreviewPane()
{
    if (m_viewer)
        m_viewer->close();
}

bool PreviewPane::has_picture() const
{
    return !m_pane->pixmap().isNull();
}

QString PreviewPane::shown_reason() const
{
    return has_picture() ? QString() : m_pane->text();
}

int PreviewPane::picture_width() const
{
    if (m_scroll == nullptr)
        return m_pane->contentsRect().width();
    const int bar = m_scroll->verticalScrollBar()->sizeHint().width();
    return qMax(1, m_scroll->width() - 2 * m_scroll->frameWidth() - bar);
}

bool PreviewPane::link(const QString& path)
{
    m_source = path;
    const unsigned generation = ++m_generation;
    if (!m_renderer) {
        m_error = QStringLiteral("プレビューを表示できません");
        m_pane->setText(m_error);
        name_pane(m_pane, m_error);
        return false;
    }
    // Rendering keeps the event loop running, so another click may link another file
    // meanwhile; the newest link owns the pane.
    // Drawn in device pixels, so a scaled screen shows it sharp.
    const qreal ratio = m_pane->devicePixelRatioF();
    const int width = picture_width();
    const int height = m_scroll ? m_scroll->viewport()->height() : m_pane->height();
    const QSize pixels = (QSizeF(width, qMax(1, height)) * ratio).toSize();
    PreviewResult result = m_renderer->render(path, pixels);
    if (generation != m_generation || result.error == PreviewError::Superseded)
        return true;
    if (!result.ok()) {
        m_error = result.message;
        m_pane->setAlignment(Qt::AlignCenter);
        m_pane->setText(m_error);
        name_pane(m_pane, m_error);
        return false;
    }
    m_error.clear();
    m_pane->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    result.image.setDevicePixelRatio(ratio);
    m_pane->setPixmap(QPixmap::fromImage(result.image));
    name_pane(m_pane, native_path::readable(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1)));
    if (m_scroll)
        m_scroll->verticalScrollBar()->setValue(0);
    if (m_viewer && m_viewer->isVisible())
        m_viewer->show_document(path);
    return true;
}

void PreviewPane::prepare()
{
    if (m_renderer)
        m_renderer->prepare();
}

void PreviewPane::close_and_discard()
{
    ++m_generation;
    m_pane->clear();
    name_pane(m_pane);
}

void PreviewPane::reset()
{
    m_source.clear();
    close_and_discard();
    m_pane->update();
}

PreviewViewer* PreviewPane::open_viewer()
{
    if (m_source.isEmpty() || !m_renderer || !has_picture())
        return nullptr;
    if (!m_viewer)
        m_viewer = new PreviewViewer(*m_renderer, m_pane->window());
    m_viewer->show();
    m_viewer->raise();
    m_viewer->show_document(m_source);
    return m_viewer;
}

} // namespace pelmora
