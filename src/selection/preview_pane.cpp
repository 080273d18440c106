// SPDX-License-Identifier: GPL-3.0-or-later
#include "selection/preview_pane.h"

#include "ports/preview_renderer.h"
#include "selection/preview_viewer.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <array>
#include <functional>

namespace pelmora {

namespace {

// Zoom steps against the pane's width; step 0 is the width itself.
constexpr std::array kZooms{0.5, 0.67, 0.8, 1.0, 1.25, 1.5, 2.0, 3.0, 4.0};
constexpr int kUnitZoom = 3;
// A listing left alone this long means the user reads it: time to warm up.
constexpr int kIdleMs = 3000;

// What a screen reader says for the pane: its name, and the document or the reason shown.
void name_pane(QLabel* pane, const QString& shown = {})
{
    const QString name = QStringLiteral("プレビュー画像");
    pane->setAccessibleName(shown.isEmpty() ? name : name + QStringLiteral("：") + shown);
}

// The pane's mouse and keys: a double-click, Enter or F3 opens the viewer, PageDown and
// PageUp turn pages, +, - and 0 or Ctrl+wheel zoom.
class PaneInput final : public QObject
{
public:
    std::function<void()> open;
    std::function<void(int)> turn;
    std::function<void(int)> zoom; // 0: back to the pane's width

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonDblClick:
            open();
            return true;
        case QEvent::Wheel: {
            const auto* wheel = static_cast<QWheelEvent*>(event);
            if (!(wheel->modifiers() & Qt::ControlModifier) || wheel->angleDelta().y() == 0)
                break;
            zoom(wheel->angleDelta().y() > 0 ? 1 : -1);
            return true;
        }
        case QEvent::KeyPress:
            if (key(*static_cast<QKeyEvent*>(event)))
                return true;
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool key(const QKeyEvent& event)
    {
        if (event.modifiers() & (Qt::AltModifier | Qt::MetaModifier))
            return false; // menu mnemonics
        switch (event.key()) {
        case Qt::Key_PageDown:
            turn(1);
            return true;
        case Qt::Key_PageUp:
            turn(-1);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_F3:
            open();
            return true;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            zoom(1);
            return true;
        case Qt::Key_Minus:
            zoom(-1);
            return true;
        case Qt::Key_0:
            zoom(0);
            return true;
        default:
            return false;
        }
    }
};

// Calls back once no input has reached the application for kIdleMs.
class IdleWatch final : public QObject
{
public:
    explicit IdleWatch(std::function<void()> idle) : m_idle(std::move(idle))
    {
        m_timer.setSingleShot(true);
        m_timer.setInterval(kIdleMs);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            qApp->removeEventFilter(this);
            m_idle();
        });
        qApp->installEventFilter(this);
        m_timer.start();
    }
    ~IdleWatch() override
    {
        if (qApp != nullptr)
            qApp->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
        case QEvent::Wheel:
            m_timer.start();
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_idle;
    QTimer m_timer;
};

} // namespace

PreviewPane::PreviewPane(QLabel* pane, PreviewRenderer* renderer)
    : m_pane(pane), m_renderer(renderer), m_zoom(kUnitZoom)
{
    m_pane->setWordWrap(true);
    m_pane->setToolTip(QStringLiteral("Enter、F3 またはダブルクリックで拡大表示します。"
                                      "PageDown / PageUp でページを送り、Ctrl+ホイールまたは "
                                      "+ / - / 0 で拡大・縮小します"));
    auto input = std::make_unique<PaneInput>();
    input->open = [this] { open_viewer(); };
    input->turn = [this](int by) { turn_page(by); };
    input->zoom = [this](int steps) {
        if (steps == 0)
            zoom_reset();
        else
            zoom_by(steps);
    };
    m_input = std::move(input);
    m_pane->installEventFilter(m_input.get());

    QWidget* frame = m_pane->parentWidget();
    QLayout* layout = frame ? frame->layout() : nullptr;
    if (layout == nullptr)
        return;
    auto* box = new QWidget(frame);
    box->setObjectName(QStringLiteral("OLE1_box"));
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    m_scroll = new QScrollArea(box);
    m_scroll->setObjectName(QStringLiteral("OLE1_scroll"));
    // Reached with Tab and by a click, so its keys work; the wheel and the bar scroll it.
    m_scroll->setFocusPolicy(Qt::StrongFocus);
    m_scroll->setAccessibleName(QStringLiteral("プレビュー表示領域"));
    m_scroll->setToolTip(m_pane->toolTip());
    m_scroll->setMinimumSize(m_pane->minimumSize());
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_scroll->setWidgetResizable(true);
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scroll->installEventFilter(m_input.get());
    m_scroll->viewport()->installEventFilter(m_input.get());
    m_counter = new QLabel(box);
    m_counter->setObjectName(QStringLiteral("OLE1_page"));
    m_counter->setAlignment(Qt::AlignCenter);
    m_counter->setAccessibleName(QStringLiteral("ページ"));
    column->addWidget(m_scroll, 1);
    column->addWidget(m_counter);
    delete layout->replaceWidget(m_pane, box);
    m_pane->setMinimumSize(0, 0);
    m_scroll->setWidget(m_pane);
    // The counter keeps its line when empty, so the picture does not jump.
    m_counter->setMinimumHeight(m_counter->fontMetrics().height());
}

PreviewPane::~PreviewPane()
{
    if (m_viewer)
        m_viewer->close();
}

QWidget* PreviewPane::focus_widget() const
{
    if (m_scroll != nullptr)
        return m_scroll;
    return m_pane;
}

bool PreviewPane::has_picture() const
{
    return !m_pane->pixmap().isNull();
}

QString PreviewPane::shown_reason() const
{
    return has_picture() ? QString() : m_pane->text();
}

double PreviewPane::zoom() const
{
    return kZooms.at(std::size_t(m_zoom));
}

int PreviewPane::picture_width() const
{
    if (m_scroll == nullptr)
        return m_pane->contentsRect().width();
    const int bar = m_scroll->verticalScrollBar()->sizeHint().width();
    return qMax(1, m_scroll->width() - 2 * m_scroll->frameWidth() - bar);
}

QString PreviewPane::page_text() const
{
    if (!has_picture())
        return {};
    return QStringLiteral("%1 / %2")
        .arg(m_page + 1)
        .arg(m_count > 0 ? QString::number(m_count) : QStringLiteral("?"));
}

void PreviewPane::show_counter()
{
    if (m_counter)
        m_counter->setText(page_text());
}

bool PreviewPane::draw(int page, unsigned generation)
{
    // Drawn in device pixels, so a scaled screen shows it sharp.
    const qreal ratio = m_pane->devicePixelRatioF();
    const int width = qMax(1, qRound(picture_width() * zoom()));
    const int height = m_scroll ? m_scroll->viewport()->height() : m_pane->height();
    const QSize pixels = (QSizeF(width, qMax(1, height)) * ratio).toSize();
    PreviewResult result = m_renderer->render_page(PageRequest{m_source, pixels, page, true});
    // Rendering keeps the event loop running, so another click may link another file
    // meanwhile; the newest link owns the pane.
    if (generation != m_generation || result.error == PreviewError::Superseded)
        return true;
    if (!result.ok()) {
        m_error = result.message;
        m_page = page;
        m_pane->setAlignment(Qt::AlignCenter);
        m_pane->setText(m_error);
        name_pane(m_pane, m_error);
        show_counter();
        return false;
    }
    m_error.clear();
    m_page = result.page;
    if (result.page_count > 0)
        m_count = result.page_count;
    m_pane->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    result.image.setDevicePixelRatio(ratio);
    m_pane->setPixmap(QPixmap::fromImage(result.image));
    name_pane(m_pane, Path(m_source.name()).readable());
    show_counter();
    return true;
}

bool PreviewPane::link(const Path& path)
{
    m_source = path;
    const unsigned generation = ++m_generation;
    m_page = m_wanted = m_count = 0;
    if (!m_renderer) {
        m_error = QStringLiteral("プレビューを表示できません");
        m_pane->setText(m_error);
        name_pane(m_pane, m_error);
        show_counter();
        return false;
    }
    if (!draw(0, generation))
        return false;
    if (generation != m_generation)
        return true;
    if (m_scroll) {
        m_scroll->verticalScrollBar()->setValue(0);
        m_scroll->horizontalScrollBar()->setValue(0);
    }
    if (m_viewer && m_viewer->isVisible())
        m_viewer->show_document(path);
    return true;
}

void PreviewPane::turn_page(int by)
{
    if (m_source.is_empty() || !m_renderer)
        return;
    m_wanted = qMax(0, m_wanted + by);
    if (m_count > 0)
        m_wanted = qMin(m_wanted, m_count - 1);
    if (m_turning)
        return; // the turn in progress goes on to the page wanted
    m_turning = true;
    const unsigned generation = m_generation;
    while ((m_wanted != m_page || m_redraw) && generation == m_generation) {
        const int asked = m_wanted;
        const bool turned = asked != m_page;
        m_redraw = false;
        if (m_counter && turned)
            m_counter->setText(QStringLiteral("%1 / %2").arg(asked + 1).arg(
                m_count > 0 ? QString::number(m_count) : QStringLiteral("?")));
        QApplication::setOverrideCursor(Qt::BusyCursor);
        const bool ok = draw(asked, generation);
        QApplication::restoreOverrideCursor();
        if (generation != m_generation)
            break;
        if (!ok) {
            m_wanted = m_page;
            break;
        }
        if (m_page != asked) // past the last page: the last one
            m_wanted = m_page;
        if (turned && m_scroll)
            m_scroll->verticalScrollBar()->setValue(0);
    }
    if (generation != m_generation)
        m_wanted = m_page;
    m_turning = false;
}

void PreviewPane::redraw()
{
    if (m_source.is_empty() || !m_renderer || !has_picture())
        return;
    if (m_turning) {
        m_redraw = true;
        return;
    }
    QScrollBar* bar = m_scroll ? m_scroll->verticalScrollBar() : nullptr;
    const double at = bar && bar->maximum() > 0 ? double(bar->value()) / bar->maximum() : 0.0;
    m_redraw = true;
    turn_page(0);
    if (bar)
        bar->setValue(qRound(at * bar->maximum()));
}

void PreviewPane::zoom_by(int steps)
{
    const int zoom = qBound(0, m_zoom + steps, int(kZooms.size()) - 1);
    if (zoom == m_zoom)
        return;
    m_zoom = zoom;
    if (m_scroll)
        m_scroll->setHorizontalScrollBarPolicy(m_zoom > kUnitZoom ? Qt::ScrollBarAsNeeded
                                                                  : Qt::ScrollBarAlwaysOff);
    redraw();
}

void PreviewPane::zoom_reset()
{
    zoom_by(kUnitZoom - m_zoom);
}

void PreviewPane::prepare()
{
    if (m_renderer)
        m_renderer->prepare();
}

void PreviewPane::warm_up_when_idle()
{
    if (m_warmed || !m_renderer || m_idle_watch || qApp == nullptr)
        return;
    m_idle_watch = std::make_unique<IdleWatch>([this] {
        m_warmed = true;
        m_renderer->warm_up();
    });
}

void PreviewPane::close_and_discard()
{
    ++m_generation;
    m_page = m_wanted = m_count = 0;
    m_pane->clear();
    name_pane(m_pane);
    show_counter();
}

void PreviewPane::reset()
{
    m_source = Path();
    close_and_discard();
    m_pane->update();
}

PreviewViewer* PreviewPane::open_viewer()
{
    if (m_source.is_empty() || !m_renderer || !has_picture())
        return nullptr;
    if (!m_viewer)
        m_viewer = new PreviewViewer(*m_renderer, m_pane->window());
    m_viewer->show();
    m_viewer->raise();
    m_viewer->show_document(m_source, m_page);
    return m_viewer;
}

} // namespace pelmora
