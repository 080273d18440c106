// SPDX-License-Identifier: GPL-3.0-or-later
// A larger, read-only window with every page of the previewed document one under the other,
// for reading what the pane shows small. It scrolls both ways and zooms (Ctrl+wheel, +, -,
// 0); pages are drawn as they scroll into view, and those far out of view are let go.
// Closing it destroys it.
#pragma once

#include "base/path.h"

#include <QDialog>
#include <vector>

class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace pelmora {

class PreviewRenderer;

class PreviewViewer final : public QDialog
{
    Q_OBJECT

public:
    PreviewViewer(PreviewRenderer& renderer, QWidget* parent = nullptr);

    // Shows path from its first page on and scrolls to page (0 for page 1); a failure shows
    // its reason instead.
    void show_document(const Path& path, int page = 0);
    const Path& document() const { return m_path; }
    // Page 1's picture (or the reason), and the pages known so far.
    QLabel* page() const { return m_labels.empty() ? nullptr : m_labels.front(); }
    int page_count() const { return int(m_labels.size()); }
    // Whether a page is drawn now (pages out of view are not).
    bool page_drawn(int index) const;

    void zoom_by(int steps);
    void zoom_reset();
    double zoom() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* add_page();
    void draw_visible();
    int page_width() const;

    PreviewRenderer& m_renderer;
    QScrollArea* m_scroll;
    QWidget* m_sheet;
    QVBoxLayout* m_column;
    std::vector<QLabel*> m_labels;
    std::vector<bool> m_drawn;
    QSize m_page_size; // of a page not drawn yet, at the zoom
    Path m_path;
    unsigned m_generation = 0;
    int m_zoom;
    bool m_drawing = false;
    bool m_again = false;
};

} // namespace pelmora
