// SPDX-License-Identifier: GPL-3.0-or-later
// A larger, read-only window with page 1 of the previewed document, for reading what the
// pane shows small. It scrolls both ways; closing it destroys it.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QScrollArea;

namespace pelmora {

class PreviewRenderer;

class PreviewViewer final : public QDialog
{
    Q_OBJECT

public:
    PreviewViewer(PreviewRenderer& renderer, QWidget* parent = nullptr);

    // Draws page 1 of path at the viewer's width; a failure shows its reason instead.
    void show_document(const QString& path);
    const QString& document() const { return m_path; }
    QLabel* page() const { return m_page; }

private:
    PreviewRenderer& m_renderer;
    QScrollArea* m_scroll;
    QLabel* m_page;
    QString m_path;
};

} // namespace pelmora
