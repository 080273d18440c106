// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/grid_setup.h"

#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyledItemDelegate>

namespace pelmora {

namespace {

class ElideStartDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = Qt::ElideLeft;
    }
};

class KeyClick final : public QObject
{
public:
    KeyClick(QTableView* view, std::function<void(int)> click)
        : QObject(view), m_view(view), m_click(std::move(click))
    {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_view && event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool press = key->key() == Qt::Key_Space || key->key() == Qt::Key_Return ||
                               key->key() == Qt::Key_Enter;
            if (press && key->modifiers() == Qt::NoModifier) {
                const QModelIndex current = m_view->currentIndex();
                if (current.isValid())
                    m_click(current.row());
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QTableView* m_view;
    std::function<void(int)> m_click;
};

} // namespace

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
    // Tab leaves the grid for the next control; the arrow keys move inside it.
    view->setTabKeyNavigation(false);
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

void elide_column_at_start(QTableView* view, int column)
{
    view->setItemDelegateForColumn(column, new ElideStartDelegate(view));
}

StretchColumn::StretchColumn(QTableView* view, int column, int widestTwips)
    : QObject(view), m_view(view), m_column(column), m_widestTwips(widestTwips),
      m_twips(widestTwips)
{
    view->viewport()->installEventFilter(this);
    apply();
}

void StretchColumn::set_twips(int twips)
{
    m_twips = twips;
    apply();
}

bool StretchColumn::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view->viewport() && event->type() == QEvent::Resize)
        apply();
    return QObject::eventFilter(watched, event);
}

void StretchColumn::apply()
{
    const QHeaderView* header = m_view->horizontalHeader();
    int others = 0;
    for (int c = 0; c < header->count(); ++c) {
        if (c != m_column && !header->isSectionHidden(c))
            others += header->sectionSize(c);
    }
    const int room = m_view->viewport()->width() - others;
    const int slack = std::max(0, room - twips_to_pixels(m_view, m_widestTwips));
    m_view->setColumnWidth(m_column, twips_to_pixels(m_view, m_twips) + slack);
}

void click_current_row_on_key(QTableView* view, std::function<void(int row)> click)
{
    view->installEventFilter(new KeyClick(view, std::move(click)));
}

} // namespace pelmora
