// SPDX-License-Identifier: GPL-3.0-or-later
// Table views set up as the program's grids: a header row, no row header, left-centred
// cells, widths in twips, and cell colours that come from the model.
#pragma once

#include <QObject>
#include <QTableView>
#include <functional>

namespace pelmora {

int twips_to_pixels(const QWidget* w, int twips);
void setup_grid_view(QTableView* view);
void set_column_twips(QTableView* view, int column, int twips);

// Long texts in this column lose their beginning, so the distinguishing end stays in view.
void elide_column_at_start(QTableView* view, int column);

// Shortens a text with paths in it to width by taking characters out of the middle of its
// folders, longest folder first; a file name and the words around the paths stay whole.
QString elide_folders(const QString& text, const QFontMetrics& metrics, int width);
// Long texts in this column are shortened with elide_folders.
void elide_column_folders(QTableView* view, int column);

// A column that never gets narrower than the width it is given in twips and takes the room
// the view has beyond the widest width it is ever given, so a wide window shows more of each
// text while a narrower setting stays narrower by the same amount.
class StretchColumn final : public QObject
{
    Q_OBJECT
public:
    StretchColumn(QTableView* view, int column, int widestTwips);
    void set_twips(int twips);
    int twips() const { return m_twips; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void apply();

    QTableView* m_view;
    int m_column;
    int m_widestTwips;
    int m_twips;
};

// Space or Enter on the grid acts like a click on the current row; the arrow keys choose
// that row. Enter then also calls open, when given. The handlers get the 0-based model row.
void click_current_row_on_key(QTableView* view, std::function<void(int row)> click,
                              std::function<void(int row)> open = {});

} // namespace pelmora
