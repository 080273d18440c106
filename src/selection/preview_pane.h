// SPDX-License-Identifier: GPL-3.0-or-later
// The preview pane: at most one document picture, and the path it was made from. Linking
// renders page 1 as wide as the pane (it scrolls down the page) or, when that fails, shows
// the reason in its place; closing and discarding drop the picture; a reset forgets the path.
// A double-click on the picture opens a larger read-only viewer of the same page.
#pragma once

#include <QPointer>
#include <QString>
#include <memory>

class QLabel;
class QObject;
class QScrollArea;

namespace pelmora {

class PreviewRenderer;
class PreviewViewer;

class PreviewPane final
{
public:
    // The label is put into a vertically scrolling area in its place in the layout.
    PreviewPane(QLabel* pane, PreviewRenderer* renderer);
    ~PreviewPane();
    PreviewPane(const PreviewPane&) = delete;
    PreviewPane& operator=(const PreviewPane&) = delete;

    const QString& source_document() const { return m_source; }
    bool has_picture() const;
    // The reason shown in place of a picture; empty when none is shown.
    QString shown_reason() const;

    // Sets the source document and shows its picture; false when no picture could be made,
    // in which case the pane shows why.
    bool link(const QString& path);
    // Takes the old picture (or reason) out of the pane.
    void close_and_discard();
    // Preview was switched on: a slow renderer may start getting ready.
    void prepare();
    // Empties the source document and the pane.
    void reset();
    // The message of the last failed link, for the user.
    const QString& last_error() const { return m_error; }

    // Opens (or brings up) the larger viewer for the linked document; null when nothing is
    // linked or there is no renderer.
    PreviewViewer* open_viewer();

private:
    int picture_width() const;

    QLabel* m_pane;
    QScrollArea* m_scroll = nullptr;
    PreviewRenderer* m_renderer;
    std::unique_ptr<QObject> m_double_click;
    QPointer<PreviewViewer> m_viewer;
    QString m_source;
    QString m_error;
    unsigned m_generation = 0; // a link started while another renders supersedes it
};

} // namespace pelmora
