// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/result_table_model.h"

#include "base/native_path.h"

#include <QCollator>
#include <QLocale>
#include <QMetaObject>
#include <QPointer>
#include <algorithm>
#include <numeric>
#include <optional>

namespace pelmora {
namespace {

// Collation keys of texts given as UTF-8 bytes, made once so a sort compares keys only.
class CollationKeys
{
public:
    CollationKeys(bool on, std::size_t count) : m_on(on)
    {
        if (m_on) {
            m_collator.emplace(QLocale(QLocale::Japanese, QLocale::Japan));
            m_keys.reserve(count);
        }
    }
    void add(std::string_view bytes)
    {
        if (m_on)
            m_keys.push_back(
                m_collator->sortKey(QString::fromUtf8(bytes.data(), qsizetype(bytes.size()))));
    }
    // Collation first; texts that collate alike (or all, when off) go by their bytes.
    int compare(std::size_t a, std::size_t b, std::string_view ta, std::string_view tb) const
    {
        const int c = m_on ? m_keys[a].compare(m_keys[b]) : 0;
        return c != 0 ? c : ta.compare(tb);
    }

private:
    bool m_on;
    std::optional<QCollator> m_collator;
    std::vector<QCollatorSortKey> m_keys;
};

// The permutation that orders the rows: order[newRow] = oldRow.
std::vector<std::uint32_t> sorted_order(const HitList& list, const std::vector<std::uint32_t>& hits,
                                        int column, SortWay way)
{
    // Folders compared once, by rank; equal texts share a rank.
    std::vector<std::uint32_t> folders(list.folder_count());
    std::iota(folders.begin(), folders.end(), 0u);
    CollationKeys folderKeys(way.collated, folders.size());
    for (const std::uint32_t f : folders)
        folderKeys.add(list.folder_at(f));
    std::sort(folders.begin(), folders.end(), [&](std::uint32_t a, std::uint32_t b) {
        return folderKeys.compare(a, b, list.folder_at(a), list.folder_at(b)) < 0;
    });
    std::vector<std::uint32_t> rank(folders.size());
    std::uint32_t r = 0;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (i > 0 && list.folder_at(folders[i]) != list.folder_at(folders[i - 1]))
            ++r;
        rank[folders[i]] = r;
    }
    const std::size_t n = hits.size();
    CollationKeys nameKeys(way.collated, n);
    for (const std::uint32_t h : hits)
        nameKeys.add(list.name(h));
    const auto names = [&](std::uint32_t a, std::uint32_t b) {
        return nameKeys.compare(a, b, list.name(hits[a]), list.name(hits[b]));
    };
    const auto byName = [&](std::uint32_t a, std::uint32_t b) {
        const int c = names(a, b);
        return c != 0 ? c < 0 : a < b;
    };
    std::vector<std::uint32_t> order(n);
    if (column == ResultTableModel::FolderColumn) {
        // Rows bucketed by folder rank, then each folder's rows by name.
        std::vector<std::uint32_t> start(std::size_t(r) + 2, 0);
        for (std::size_t i = 0; i < n; ++i)
            ++start[rank[list.folder_index(hits[i])] + 1];
        std::partial_sum(start.begin(), start.end(), start.begin());
        std::vector<std::uint32_t> fill(start.begin(), start.end() - 1);
        for (std::size_t i = 0; i < n; ++i)
            order[fill[rank[list.folder_index(hits[i])]]++] = std::uint32_t(i);
        for (std::size_t b = 0; b + 1 < start.size(); ++b) {
            if (start[b + 1] - start[b] > 1)
                std::sort(order.begin() + start[b], order.begin() + start[b + 1], byName);
        }
    } else {
        std::iota(order.begin(), order.end(), 0u);
        std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            const int c = names(a, b);
            if (c != 0)
                return c < 0;
            const std::uint32_t ra = rank[list.folder_index(hits[a])];
            const std::uint32_t rb = rank[list.folder_index(hits[b])];
            return ra != rb ? ra < rb : a < b;
        });
    }
    if (way.descending)
        std::reverse(order.begin(), order.end());
    return order;
}

std::vector<std::uint32_t> inverse(const std::vector<std::uint32_t>& order)
{
    std::vector<std::uint32_t> inv(order.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        inv[order[i]] = std::uint32_t(i);
    return inv;
}

} // namespace

ResultTableModel::~ResultTableModel()
{
    join_sorter();
}

void ResultTableModel::join_sorter()
{
    if (m_sorter.joinable())
        m_sorter.join();
}

int ResultTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(shown_count());
}

QVariant ResultTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || std::size_t(index.row()) >= shown_count())
        return {};
    const bool wantsText = role == Qt::DisplayRole || role == Qt::ToolTipRole;
    return cell_data(wantsText ? display_text(index.row(), index.column()) : QString(),
                     cell_background(index.row(), index.column()), role);
}

void ResultTableModel::replace_rows(std::shared_ptr<const HitList> list, std::size_t count)
{
    beginResetModel();
    ++m_generation;
    m_sorting = false;
    m_list = std::move(list);
    m_count = count;
    m_order = {};
    m_filtered = false;
    m_shown = {};
    m_nameBack = wincolor::None;
    m_folderBack = wincolor::FolderCell;
    m_nameBackOf = {};
    m_folderBackOf = {};
    endResetModel();
}

void ResultTableModel::clear()
{
    replace_rows(nullptr, 0);
}

void ResultTableModel::show_list(std::shared_ptr<const HitList> list)
{
    const std::size_t n = list ? list->size() : 0;
    replace_rows(std::move(list), n);
}

void ResultTableModel::follow_list(std::shared_ptr<const HitList> list)
{
    replace_rows(std::move(list), 0);
}

void ResultTableModel::show_new_hits()
{
    const std::size_t have = m_count;
    const std::size_t total = m_list ? m_list->size() : 0;
    if (total <= have)
        return;
    ++m_generation;
    m_sorting = false;
    if (m_order) {
        auto order = std::make_shared<std::vector<std::uint32_t>>(*m_order);
        for (std::size_t i = have; i < total; ++i)
            order->push_back(std::uint32_t(i));
        m_order = std::move(order);
    }
    if (m_filtered) {
        m_count = total; // listed, not shown: the filter has not seen them
        return;
    }
    beginInsertRows({}, int(have), int(total) - 1);
    m_count = total;
    endInsertRows();
}

QVariant ResultTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::InitialSortOrderRole)
        return int(Qt::AscendingOrder);
    return TwoColumnGrid::headerData(section, orientation, role);
}

void ResultTableModel::sort(int column, Qt::SortOrder order)
{
    if (column == NameColumn || column == FolderColumn)
        sort_by_column(column, {}, SortWay{true, order == Qt::DescendingOrder});
}

void ResultTableModel::sort_by_column(int column, std::function<void()> done, SortWay way)
{
    join_sorter();
    const std::uint64_t generation = ++m_generation;
    if (!m_list || m_count <= kSortInPlaceRows) {
        if (m_list) {
            std::vector<std::uint32_t> hits(m_count);
            for (std::size_t i = 0; i < m_count; ++i)
                hits[i] = hit_of(i);
            std::vector<std::uint32_t> order = sorted_order(*m_list, hits, column, way);
            const std::vector<std::uint32_t> newRowOf = inverse(order);
            for (std::uint32_t& o : order)
                o = hits[o];
            apply_order(std::move(order), newRowOf);
        }
        m_sorting = false;
        if (done)
            done();
        return;
    }
    m_sorting = true;
    QPointer<ResultTableModel> self(this);
    m_sorter = std::thread([self, list = m_list, count = m_count, rows = m_order, column, way,
                            generation, done = std::move(done)]() mutable {
        // Everything of the list's size is made here, off the window's thread.
        std::vector<std::uint32_t> hits(count);
        for (std::size_t i = 0; i < count; ++i)
            hits[i] = rows ? (*rows)[i] : std::uint32_t(i);
        rows.reset();
        std::vector<std::uint32_t> order = sorted_order(*list, hits, column, way);
        std::vector<std::uint32_t> newRowOf = inverse(order);
        for (std::uint32_t& o : order)
            o = hits[o];
        hits = {};
        QMetaObject::invokeMethod(
            self.data(),
            [self, generation, order = std::move(order), newRowOf = std::move(newRowOf),
             done = std::move(done)]() mutable {
                if (!self || self->m_generation != generation)
                    return; // the rows changed meanwhile: this order is stale
                self->apply_order(std::move(order), newRowOf);
                self->m_sorting = false;
                if (done)
                    done();
            },
            Qt::QueuedConnection);
    });
}

void ResultTableModel::apply_order(std::vector<std::uint32_t>&& order,
                                   const std::vector<std::uint32_t>& newRowOf)
{
    if (order.size() != m_count)
        return;
    Q_EMIT rows_regrouping();
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::size_t> listedBefore;
    listedBefore.reserve(std::size_t(before.size()));
    for (const QModelIndex& i : before)
        listedBefore.push_back(listed_of(std::size_t(i.row())));
    m_order = std::make_shared<const std::vector<std::uint32_t>>(std::move(order));
    if (m_filtered) {
        // The same rows stay shown, in their new order.
        for (std::uint32_t& r : m_shown)
            r = newRowOf[r];
        std::sort(m_shown.begin(), m_shown.end());
    }
    // The few colours that differ from their column's move with their rows.
    const auto moved = [&newRowOf](std::unordered_map<std::uint32_t, WinColor>& of) {
        std::unordered_map<std::uint32_t, WinColor> next;
        for (const auto& [row, color] : of)
            next.emplace(newRowOf[row], color);
        of = std::move(next);
    };
    moved(m_nameBackOf);
    moved(m_folderBackOf);
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype k = 0; k < before.size(); ++k)
        after.append(index(int(shown_row_of_listed(newRowOf[listedBefore[std::size_t(k)]])),
                           before[k].column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    Q_EMIT rows_regrouped();
}

void ResultTableModel::show_listed_rows(std::vector<std::uint32_t> listedRows)
{
    Q_EMIT rows_regrouping();
    beginResetModel();
    m_shown = std::move(listedRows);
    m_filtered = true;
    endResetModel();
    Q_EMIT rows_regrouped();
}

void ResultTableModel::show_all_rows()
{
    if (!m_filtered)
        return;
    Q_EMIT rows_regrouping();
    beginResetModel();
    m_shown = {};
    m_filtered = false;
    endResetModel();
    Q_EMIT rows_regrouped();
}

qsizetype ResultTableModel::listed_row_of_hit(std::uint32_t hit) const
{
    if (!m_order)
        return hit < m_count ? qsizetype(hit) : -1;
    const auto it = std::find(m_order->begin(), m_order->end(), hit);
    return it == m_order->end() ? -1 : qsizetype(it - m_order->begin());
}

qsizetype ResultTableModel::shown_row_of_listed(std::size_t listedRow) const
{
    if (!m_filtered)
        return listedRow < m_count ? qsizetype(listedRow) : -1;
    const auto it = std::lower_bound(m_shown.begin(), m_shown.end(), std::uint32_t(listedRow));
    return it != m_shown.end() && *it == listedRow ? qsizetype(it - m_shown.begin()) : -1;
}

qsizetype ResultTableModel::row_of_hit(std::uint32_t hit) const
{
    const qsizetype listed = listed_row_of_hit(hit);
    return listed < 0 ? -1 : shown_row_of_listed(std::size_t(listed));
}

void ResultTableModel::set_hit_background(std::uint32_t hit, int column, WinColor color)
{
    const qsizetype listed = listed_row_of_hit(hit);
    if (listed >= 0)
        set_listed_background(std::size_t(listed), column, color);
}

QString ResultTableModel::text(qsizetype row, int column) const
{
    if (row < 0 || row >= size())
        return {};
    return listed_text(qsizetype(listed_of(std::size_t(row))), column);
}

QString ResultTableModel::listed_text(qsizetype listedRow, int column) const
{
    if (listedRow < 0 || listedRow >= listed_size() || !m_list)
        return {};
    const std::uint32_t hit = hit_of(std::size_t(listedRow));
    return column == NameColumn ? m_list->name_text(hit) : m_list->folder_text(hit);
}

QString ResultTableModel::display_text(qsizetype row, int column) const
{
    return native_path::readable(text(row, column));
}

WinColor ResultTableModel::cell_background(qsizetype row, int column) const
{
    if (row < 0 || row >= size())
        return wincolor::None;
    const auto& of = column == NameColumn ? m_nameBackOf : m_folderBackOf;
    const auto it = of.find(std::uint32_t(listed_of(std::size_t(row))));
    if (it != of.end())
        return it->second;
    return column == NameColumn ? m_nameBack : m_folderBack;
}

void ResultTableModel::set_cell_background(qsizetype row, int column, WinColor color)
{
    if (row >= 0 && row < size())
        set_listed_background(listed_of(std::size_t(row)), column, color);
}

void ResultTableModel::set_listed_background(std::size_t listedRow, int column, WinColor color)
{
    const bool nameCol = column == NameColumn;
    auto& of = nameCol ? m_nameBackOf : m_folderBackOf;
    if (color == (nameCol ? m_nameBack : m_folderBack))
        of.erase(std::uint32_t(listedRow));
    else
        of[std::uint32_t(listedRow)] = color;
    const qsizetype row = shown_row_of_listed(listedRow);
    if (row < 0)
        return;
    const QModelIndex i = index(int(row), column);
    Q_EMIT dataChanged(i, i, {Qt::BackgroundRole});
}

void ResultTableModel::set_all_name_backgrounds(WinColor color)
{
    m_nameBack = color;
    m_nameBackOf = {};
    if (shown_count() > 0)
        Q_EMIT dataChanged(index(0, NameColumn), index(int(shown_count()) - 1, NameColumn),
                           {Qt::BackgroundRole});
}

} // namespace pelmora
