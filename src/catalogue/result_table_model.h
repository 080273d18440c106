// SPDX-License-Identifier: GPL-3.0-or-later
// The rows of the result grid: one hit per row, file name and folder, with the cell
// colours the commands set. Rows refer to a list of hits shared with the result cache: the
// grid adds the order of its rows (none until sorted) and the colours that differ from the
// column's, so a shown row costs four bytes beside the hit. Large lists are sorted on a
// worker thread, and nothing of the size of the list is allocated or copied on this one.
#pragma once

#include "session/result_cache.h"
#include "session/two_column_grid.h"

#include <functional>
#include <memory>
#include <thread>
#include <unordered_map>
#include <vector>

namespace pelmora {

// Heading of the folder column; a click on the heading row leaves it in sel_dir.
inline const QString kFolderColumnHeading = QStringLiteral("保存場所");

// How a grid sort compares: Japanese collation first (bytes only between equals) or bytes
// alone, ascending or descending.
struct SortWay
{
    bool collated = false;
    bool descending = false;
};

class ResultTableModel final : public TwoColumnGrid
{
    Q_OBJECT
public:
    enum Column { NameColumn = 0, FolderColumn = 1 };
    explicit ResultTableModel(QObject* parent = nullptr)
        : TwoColumnGrid(QStringLiteral("ファイル名"), kFolderColumnHeading, parent)
    {}
    ~ResultTableModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // A first header click sorts ascending.
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // A header click: by that column in Japanese collation, in either order (see
    // sort_by_column).
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Drops every row and gives their memory back.
    void clear();
    // One row per hit of the list, in the list's order.
    void show_list(std::shared_ptr<const HitList> list);
    // Starts an empty grid over a list a scan is filling; show_new_hits() adds the rows of
    // what was appended since.
    void follow_list(std::shared_ptr<const HitList> list);
    void show_new_hits();

    // Orders the rows ascending by one column, then by the other; byte order of the names,
    // which for UTF-8 names is the order of their characters (unless way says otherwise). A
    // large grid is sorted on a worker thread; done runs on this thread once the rows are in
    // order (not at all when the rows were replaced meanwhile).
    void sort_by_column(int column, std::function<void()> done = {}, SortWay way = {});
    bool sorting() const { return m_sorting; }
    // Grids up to this size are sorted at once.
    static constexpr std::size_t kSortInPlaceRows = 20000;

    // Rows shown.
    qsizetype size() const { return qsizetype(shown_count()); }
    // Rows of the listing, shown or not.
    qsizetype listed_size() const { return qsizetype(m_count); }
    // The exact text (every byte of the file system's name kept): what commands act on.
    QString text(qsizetype row, int column) const;
    QString listed_text(qsizetype listedRow, int column) const;
    // What the grid shows: the readable form of text().
    QString display_text(qsizetype row, int column) const;
    WinColor cell_background(qsizetype row, int column) const;
    void set_cell_background(qsizetype row, int column, WinColor color);
    // Sets the file-name background of every row in one repaint.
    void set_all_name_backgrounds(WinColor color);

    // Shows only these listed rows (ascending), or all of them again.
    void show_listed_rows(std::vector<std::uint32_t> listedRows);
    void show_all_rows();
    bool filtered() const { return m_filtered; }
    // What a filter works on: the list and the hit of each listed row (null: the list's order).
    std::shared_ptr<const HitList> list() const { return m_list; }
    std::shared_ptr<const std::vector<std::uint32_t>> order() const { return m_order; }

    // A hit stays the same file when rows are sorted or filtered: the hit of a shown row, the
    // shown row of a hit (-1 when not shown), and the background of a hit's cell whether or
    // not it is shown.
    std::uint32_t hit_at(qsizetype row) const { return hit_of(listed_of(std::size_t(row))); }
    qsizetype row_of_hit(std::uint32_t hit) const;
    void set_hit_background(std::uint32_t hit, int column, WinColor color);

Q_SIGNALS:
    // Around every change of which rows are shown where, other than a new listing: a sort, a
    // filter.
    void rows_regrouping();
    void rows_regrouped();

private:
    std::uint32_t hit_of(std::size_t listedRow) const
    {
        return m_order ? (*m_order)[listedRow] : std::uint32_t(listedRow);
    }
    std::size_t listed_of(std::size_t row) const
    {
        return m_filtered ? std::size_t(m_shown[row]) : row;
    }
    std::size_t shown_count() const { return m_filtered ? m_shown.size() : m_count; }
    qsizetype listed_row_of_hit(std::uint32_t hit) const;
    qsizetype shown_row_of_listed(std::size_t listedRow) const;
    void set_listed_background(std::size_t listedRow, int column, WinColor color);
    void replace_rows(std::shared_ptr<const HitList> list, std::size_t count);
    void apply_order(std::vector<std::uint32_t>&& order,
                     const std::vector<std::uint32_t>& newRowOf);
    void join_sorter();

    std::shared_ptr<const HitList> m_list;
    std::size_t m_count = 0; // rows listed: the list's first m_count hits
    // Hit of each listed row; null: the list's own order.
    std::shared_ptr<const std::vector<std::uint32_t>> m_order;
    bool m_filtered = false;
    std::vector<std::uint32_t> m_shown; // listed rows shown, ascending, while filtered
    WinColor m_nameBack = wincolor::None;
    WinColor m_folderBack = wincolor::FolderCell;
    std::unordered_map<std::uint32_t, WinColor> m_nameBackOf; // by listed row, where not m_nameBack
    std::unordered_map<std::uint32_t, WinColor> m_folderBackOf;
    std::uint64_t m_generation = 0; // changes whenever the rows are replaced or added
    bool m_sorting = false;
    std::thread m_sorter;
};

} // namespace pelmora
