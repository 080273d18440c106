// SPDX-License-Identifier: GPL-3.0-or-later
// What both grids share: two columns under a dark-blue heading row, left-centred cells whose
// backgrounds are the colour values the commands set.
#pragma once

#include "session/win_color.h"

#include <QAbstractTableModel>

namespace pelmora {

class TwoColumnGrid : public QAbstractTableModel
{
    Q_OBJECT
public:
    // The colour value of a cell, as the commands set it (not resolved against a palette).
    static constexpr int WinColorRole = Qt::UserRole + 1;

    TwoColumnGrid(QString heading0, QString heading1, QObject* parent = nullptr)
        : QAbstractTableModel(parent), m_headings{std::move(heading0), std::move(heading1)}
    {}

    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : 2;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        // Row headers are not shown; they carry the row number for screen readers.
        if (orientation == Qt::Vertical)
            return role == Qt::DisplayRole ? QVariant(QString::number(section + 1)) : QVariant();
        if (section < 0 || section > 1)
            return {};
        switch (role) {
        case Qt::DisplayRole:
            return m_headings[section];
        case Qt::ForegroundRole:
            return to_qcolor(wincolor::HeaderText);
        case Qt::TextAlignmentRole:
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
        }
    }

    void set_palette(const QPalette& p) { m_palette = p; }

protected:
    QVariant cell_data(const QString& text, WinColor background, int role) const
    {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return text;
        case Qt::BackgroundRole:
            return background == wincolor::None ? QVariant()
                                                : QVariant(to_qcolor(background, m_palette));
        case WinColorRole:
            return QVariant::fromValue(background);
        case Qt::TextAlignmentRole:
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
        }
    }

private:
    QString m_headings[2];
    QPalette m_palette;
};

} // namespace pelmora
