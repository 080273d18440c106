// Table views set up as the program's grids: a header row, no row header, left-centred
// cells, widths in twips, and cell colours that come from the model.
#pragma once

#include <QTableView>

namespace pelmora {

int twips_to_pixels(const QWidget* w, int twips);
void setup_grid_view(QTableView* view);
void set_column_twips(QTableView* view, int column, int twips);

} // namespace pelmora
