// The rows of the result grid: one hit per row, file name and folder, with the cell
// colours the commands set. One vector of plain rows, filled in batches.
#pragma once

#include "app/session/two_column_grid.h"
#include "catalogue/scan_job.h"

#include <vector>

namespace pelmora {

// Heading of the folder column; a click on the heading row leaves it in sel_dir.
inline const QString kFolderColumnHeading = QStringLiteral("保存場所");

struct ResultRow
{
    QString name;
    QString folder;
    WinColor nameBack = wincolor::None;
    WinColor folderBack = wincolor::FolderCell;
};

class ResultTableModel final : public TwoColumnGrid
{
    Q_OBJECT
public:
    enum Column { NameColumn = 0, FolderColumn = 1 };
    explicit ResultTableModel(QObject* parent = nullptr)
        : TwoColumnGrid(QStringLiteral("ファイル名"), kFolderColumnHeading, parent)
    {}

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

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

private:
    std::vector<ResultRow> m_rows;
};

} // namespace pelmora
