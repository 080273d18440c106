#include "app/window/grid_setup.h"

#include <QHeaderView>

namespace pelmora {

int twips_to_pixels(const QWidget* w, int twips)
{
    const int dpi = w ? w->logicalDpiX() : 96;
    return (twips * dpi + 720) / 1440;
}

void setup_grid_view(QTableView* view)
{
    view->setSelectionMode(QAbstractItemView::NoSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    // Long folders keep their beginning and their end in view.
    view->setTextElideMode(Qt::ElideMiddle);
    view->setAlternatingRowColors(false);
    view->setSortingEnabled(false);
    view->verticalHeader()->hide();
    // Fixed row heights keep 100,000 rows cheap to insert and scroll.
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    view->horizontalHeader()->setHighlightSections(false);
    view->horizontalHeader()->setStretchLastSection(false);
    view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
}

void set_column_twips(QTableView* view, int column, int twips)
{
    view->setColumnWidth(column, twips_to_pixels(view, twips));
}

} // namespace pelmora
