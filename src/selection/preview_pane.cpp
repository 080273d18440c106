#include "selection/preview_pane.h"

#include "platform/preview_renderer.h"

#include <QLabel>
#include <QPixmap>

namespace pelmora {

bool PreviewPane::has_picture() const
{
    return !m_pane->pixmap().isNull();
}

bool PreviewPane::link(const QString& path)
{
    m_source = path;
    const unsigned generation = ++m_generation;
    if (!m_renderer) {
        m_error = QStringLiteral("プレビューを表示できません");
        return false;
    }
    // Rendering keeps the event loop running, so another click may link another file
    // meanwhile; the newest link owns the pane.
    const PreviewResult result = m_renderer->render(path, m_pane->contentsRect().size());
    if (generation != m_generation)
        return true;
    if (!result.ok()) {
        m_error = result.message;
        return false;
    }
    m_error.clear();
    m_pane->setPixmap(QPixmap::fromImage(result.image));
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
}

void PreviewPane::reset()
{
    m_source.clear();
    close_and_discard();
    m_pane->update();
}

} // namespace pelmora
