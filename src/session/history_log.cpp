// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/history_log.h"

#include "ports/clock.h"

namespace pelmora {

QString history_time_stamp(const QDateTime& t)
{
    const QDate d = t.date();
    const QTime h = t.time();
    return QStringLiteral("%1年%2月%3日 %4時%5分%6秒")
        .arg(d.year() % 100, 2, 10, QLatin1Char('0'))
        .arg(d.month(), 2, 10, QLatin1Char('0'))
        .arg(d.day(), 2, 10, QLatin1Char('0'))
        .arg(h.hour(), 2, 10, QLatin1Char('0'))
        .arg(h.minute(), 2, 10, QLatin1Char('0'))
        .arg(h.second(), 2, 10, QLatin1Char('0'));
}

HistoryLog::HistoryLog(Clock& clock, QObject* parent)
    : TwoColumnGrid(QStringLiteral("操作時間"), QStringLiteral("操作内容"), parent), m_clock(clock)
{}

int HistoryLog::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant HistoryLog::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || std::size_t(index.row()) >= m_entries.size())
        return {};
    const Entry& e = m_entries[std::size_t(index.row())];
    return cell_data(index.column() == 0 ? e.time : e.text, e.color, role);
}

void HistoryLog::append_history_row(const QString& text, WinColor color)
{
    const int row = int(m_entries.size());
    beginInsertRows({}, row, row);
    m_entries.push_back(Entry{history_time_stamp(m_clock.now()), text, color});
    endInsertRows();
}

void HistoryLog::reset_history_grid()
{
    beginResetModel();
    m_entries.clear();
    endResetModel();
}

} // namespace pelmora
