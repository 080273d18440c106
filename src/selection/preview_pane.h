// The preview pane: at most one document picture, and the path it was made from. Linking
// renders the document; closing and discarding drop the picture; a reset forgets the path.
#pragma once

#include <QString>

class QLabel;

namespace pelmora {

class PreviewRenderer;

class PreviewPane final
{
public:
    PreviewPane(QLabel* pane, PreviewRenderer* renderer) : m_pane(pane), m_renderer(renderer) {}

    const QString& source_document() const { return m_source; }
    bool has_picture() const;

    // Sets the source document and shows its picture; false when no picture could be made.
    bool link(const QString& path);
    // Takes the old picture out of the pane.
    void close_and_discard();
    // Preview was switched on: a slow renderer may start getting ready.
    void prepare();
    // Empties the source document and the pane.
    void reset();
    // The message of the last failed link, for the user.
    const QString& last_error() const { return m_error; }

private:
    QLabel* m_pane;
    PreviewRenderer* m_renderer;
    QString m_source;
    QString m_error;
    unsigned m_generation = 0; // a link started while another renders supersedes it
};

} // namespace pelmora
