#include "catalogue/result_table_model.h"

#include <algorithm>

namespace pelmora {

int ResultTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant ResultTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || std::size_t(index.row()) >= m_rows.size())
        return {};
    const ResultRow& r = m_rows[std::size_t(index.row())];
    const bool nameCol = index.column() == NameColumn;
    return cell_data(nameCol ? r.name : r.folder, nameCol ? r.nameBack : r.folderBack, role);
}

void ResultTableModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    endResetModel();
}

void ResultTableModel::append_hits(const std::vector<Hit>& hits)
{
    if (hits.empty())
        return;
    const int first = int(m_rows.size());
    beginInsertRows({}, first, first + int(hits.size()) - 1);
    m_rows.reserve(m_rows.size() + hits.size());
    for (const Hit& h : hits)
        m_rows.push_back(ResultRow{h.name, h.folder});
    endInsertRows();
}

void ResultTableModel::set_rows(std::vector<ResultRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void ResultTableModel::sort_by_column(int column)
{
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const auto key = [column](const ResultRow& r) -> const QString& {
        return column == NameColumn ? r.name : r.folder;
    };
    std::stable_sort(m_rows.begin(), m_rows.end(), [&key](const ResultRow& a, const ResultRow& b) {
        const QString& ka = key(a);
        const QString& kb = key(b);
        // Rows of one folder share one string: skip the comparison for them.
        if (ka.constData() == kb.constData() && ka.size() == kb.size())
            return false;
        return ka < kb;
    });
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QString ResultTableModel::text(qsizetype row, int column) const
{
    if (row < 0 || row >= size())
        return {};
    return column == NameColumn ? m_rows[std::size_t(row)].name : m_rows[std::size_t(row)].folder;
}

WinColor ResultTableModel::cell_background(qsizetype row, int column) const
{
    if (row < 0 || row >= size())
        return wincolor::None;
    const ResultRow& r = m_rows[std::size_t(row)];
    return column == NameColumn ? r.nameBack : r.folderBack;
}

void ResultTableModel::set_cell_background(qsizetype row, int column, WinColor color)
{
    if (row < 0 || row >= size())
        return;
    ResultRow& r = m_rows[std::size_t(row)];
    (column == NameColumn ? r.nameBack : r.folderBack) = color;
    const QModelIndex i = index(int(row), column);
    Q_EMIT dataChanged(i, i, {Qt::BackgroundRole});
}

void ResultTableModel::set_all_name_backgrounds(WinColor color)
{
    for (ResultRow& r : m_rows)
        r.nameBack = color;
    if (!m_rows.empty())
        Q_EMIT dataChanged(index(0, NameColumn), index(int(m_rows.size()) - 1, NameColumn),
                           {Qt::BackgroundRole});
}

} // namespace pelmora
