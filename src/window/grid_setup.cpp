// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/grid_setup.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <vector>

namespace pelmora {

namespace {

// Shortens a column's long texts: at their start, or in the middle of their folders.
class ElidingDelegate final : public QStyledItemDelegate
{
public:
    ElidingDelegate(QObject* parent, bool folders) : QStyledItemDelegate(parent), m_folders(folders)
    {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!m_folders) {
            option->textElideMode = Qt::ElideLeft;
            return;
        }
        const QWidget* view = option->widget;
        const QStyle* style = view ? view->style() : QApplication::style();
        // The room the style leaves for the text inside the cell.
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        option->text =
            elide_folders(option->text, option->fontMetrics, option->rect.width() - 2 * margin);
        option->textElideMode = Qt::ElideRight; // only where even that does not fit
    }

private:
    bool m_folders;
};

// Where the folders of the paths in a text are: each run of characters up to a path's last
// "/", less the leading "/" (spaces and brackets end a path).
struct FolderSpan
{
    qsizetype start;
    qsizetype length;
};

std::vector<FolderSpan> folder_spans(const QString& text)
{
    std::vector<FolderSpan> spans;
    qsizetype i = 0;
    const auto ends = [](QChar c) {
        return c.isSpace() || c == QLatin1Char('(') || c == QLatin1Char(')');
    };
    while (i < text.size()) {
        if (text.at(i) != QLatin1Char('/')) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < text.size() && !ends(text.at(end)))
            ++end;
        const qsizetype lastSlash = text.lastIndexOf(QLatin1Char('/'), end - 1);
        if (lastSlash - i > 1)
            spans.push_back({i + 1, lastSlash - i - 1});
        i = end;
    }
    return spans;
}

// The text with cut characters taken out of its folders, the longest first, each cut in the
// middle of its folder and marked with one ellipsis.
QString cut_folders(const QString& text, const std::vector<FolderSpan>& spans, qsizetype cut)
{
    std::vector<qsizetype> removed(spans.size(), 0);
    for (qsizetype n = 0; n < cut; ++n) {
        std::size_t longest = 0;
        for (std::size_t s = 1; s < spans.size(); ++s) {
            if (spans[s].length - removed[s] > spans[longest].length - removed[longest])
                longest = s;
        }
        if (spans[longest].length - removed[longest] <= 0)
            break;
        ++removed[longest];
    }
    QString out;
    qsizetype at = 0;
    for (std::size_t s = 0; s < spans.size(); ++s) {
        const FolderSpan& span = spans[s];
        out += QStringView(text).mid(at, span.start - at);
        if (removed[s] == 0) {
            out += QStringView(text).mid(span.start, span.length);
        } else {
            const qsizetype kept = span.length - removed[s];
            const qsizetype head = (kept + 1) / 2;
            out += QStringView(text).mid(span.start, head);
            out += QChar(0x2026);
            out += QStringView(text).mid(span.start + span.length - (kept - head), kept - head);
        }
        at = span.start + span.length;
    }
    out += QStringView(text).mid(at);
    return out;
}

class KeyClick final : public QObject
{
public:
    KeyClick(QTableView* view, std::function<void(int)> click, std::function<void(int)> open)
        : QObject(view), m_view(view), m_click(std::move(click)), m_open(std::move(open))
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
                if (current.isValid()) {
                    m_click(current.row());
                    if (m_open && key->key() != Qt::Key_Space)
                        m_open(current.row());
                }
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QTableView* m_view;
    std::function<void(int)> m_click;
    std::function<void(int)> m_open;
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
    view->setItemDelegateForColumn(column, new ElidingDelegate(view, false));
}

QString elide_folders(const QString& text, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    const std::vector<FolderSpan> spans = folder_spans(text);
    qsizetype most = 0;
    for (const FolderSpan& s : spans)
        most += s.length;
    if (most == 0 || metrics.horizontalAdvance(cut_folders(text, spans, most)) > width)
        return metrics.elidedText(cut_folders(text, spans, most), Qt::ElideRight, width);
    // The fewest characters to cut: the text only gets narrower as more are cut.
    qsizetype low = 1;
    qsizetype high = most;
    while (low < high) {
        const qsizetype mid = (low + high) / 2;
        if (metrics.horizontalAdvance(cut_folders(text, spans, mid)) <= width)
            high = mid;
        else
            low = mid + 1;
    }
    return cut_folders(text, spans, low);
}

void elide_column_folders(QTableView* view, int column)
{
    view->setItemDelegateForColumn(column, new ElidingDelegate(view, true));
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

void click_current_row_on_key(QTableView* view, std::function<void(int row)> click,
                              std::function<void(int row)> open)
{
    view->installEventFilter(new KeyClick(view, std::move(click), std::move(open)));
}

} // namespace pelmora
