// The rows of the result grid: one hit per row, file name and folder, with the cell
// colours the commands set. One vector of plain rows, filled in batches.
#pragma once

#include "app/win_color.h"
#include "catalogue/scan_job.h"

#include <QAbstractTableModel>
#include <vector>

namespace pelmora {

struct ResultRow
{
    QString name;
    QString folder;
    WinColor nameBack = wincolor::None;
    WinColor folderBack = wincolor::FolderCell;
};

class ResultTableModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { NameColumn = 0, FolderColumn = 1 };
    // The colour value of a cell, as the commands set it (not resolved against a palette).
    static constexpr int WinColorRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void clear();
    void append_hits(const std::vector<Hit>& hits);
    void set_rows(std::vector<ResultRow> rows);
    // Orders the rows ascending by one column's text; rows that compare equal keep their order.
    void sort_by_column(int column);

    qsizetype size() const { return qsizetype(m_rows.size()); }
    const ResultRow& row(qsizetype i) const { return m_rows[std::size_t(i)]; }
    QString text(qsizetype row, int column) const;
    WinColor cell_background(qsizetype row, int column) const;
    void set_cell_background(qsizetype row, int column, WinColor color);
    // Sets the file-name background of every row in one repaint.
    void set_all_name_backgrounds(WinColor color);

    void set_palette(const QPalette& p) { m_palette = p; }

private:
    std::vector<ResultRow> m_rows;
    QPalette m_palette;
};

} // namespace pelmora
