// SPDX-License-Identifier: GPL-3.0-or-later
// The preview pane: at most one document picture, and the path it was made from. Linking
// renders page 1, cropped to its inked part and fitted to the pane's width (it scrolls down
// the page) or, when that fails, shows the reason in its place; closing and discarding drop
// the picture; a reset forgets the path. Under the picture a counter tells the page shown.
// With the focus on the pane, PageDown and PageUp turn the pages, +, - and 0 (or Ctrl+wheel)
// zoom, and Enter or F3 (or a double-click) open a larger read-only viewer of every page.
#pragma once

#include "base/path.h"

#include <QPointer>
#include <QString>
#include <memory>

class QLabel;
class QObject;
class QScrollArea;
class QTimer;
class QWidget;

namespace pelmora {

class PreviewRenderer;
class PreviewViewer;

class PreviewPane final
{
public:
    // The label is put into a vertically scrolling area in its place in the layout, with the
    // page counter under it.
    PreviewPane(QLabel* pane, PreviewRenderer* renderer);
    ~PreviewPane();
    PreviewPane(const PreviewPane&) = delete;
    PreviewPane& operator=(const PreviewPane&) = delete;

    // What takes the keyboard focus for the pane (its place in the Tab order).
    QWidget* focus_widget() const;

    const Path& source_document() const { return m_source; }
    bool has_picture() const;
    // The reason shown in place of a picture; empty when none is shown.
    QString shown_reason() const;

    // Sets the source document and shows its first page; false when no picture could be
    // made, in which case the pane shows why.
    bool link(const Path& path);
    // Takes the old picture (or reason) out of the pane.
    void close_and_discard();
    // Preview was switched on: a slow renderer may start getting ready.
    void prepare();
    // A listing is on screen: once the user has left the program idle for a few seconds, a
    // slow renderer starts getting ready in the background (once a run).
    void warm_up_when_idle();
    // Empties the source document and the pane.
    void reset();
    // The message of the last failed link, for the user.
    const QString& last_error() const { return m_error; }

    // Pages on (by > 0) or back from the page shown, within the document. A page converted
    // only now keeps the event loop running; further turns meanwhile add up.
    void turn_page(int by);
    int page() const { return m_page; }        // 0 for page 1
    int page_count() const { return m_count; } // 0 while not known
    // What the counter under the picture says: "2 / 5", "1 / ?" while the count is not
    // known, empty without a picture.
    QString page_text() const;

    // Zoom against the pane's width, in steps; 0 steps back to the width of the pane.
    void zoom_by(int steps);
    void zoom_reset();
    double zoom() const;

    // Opens (or brings up) the larger viewer for the linked document; null when nothing is
    // linked or there is no renderer.
    PreviewViewer* open_viewer();

private:
    int picture_width() const;
    // Draws page of the source; false when it failed and the reason is shown instead.
    bool draw(int page, unsigned generation);
    void redraw();
    void show_counter();

    QLabel* m_pane;
    QScrollArea* m_scroll = nullptr;
    QLabel* m_counter = nullptr;
    PreviewRenderer* m_renderer;
    std::unique_ptr<QObject> m_input;
    std::unique_ptr<QObject> m_idle_watch;
    QPointer<PreviewViewer> m_viewer;
    Path m_source;
    QString m_error;
    unsigned m_generation = 0; // a link started while another renders supersedes it
    int m_page = 0;
    int m_count = 0;
    int m_wanted = 0; // the page turns ask for
    int m_zoom = 0;   // steps from the pane's width
    bool m_turning = false;
    bool m_redraw = false; // zoomed while a page was being drawn
    bool m_warmed = false;
};

} // namespace pelmora
