#include "app/history_log.h"

#include "platform/clock.h"

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

HistoryLog::HistoryLog(Clock& clock, QObject* parent) : QAbstractTableModel(parent), m_clock(clock)
{}

int HistoryLog::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int HistoryLog::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant HistoryLog::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || std::size_t(index.row()) >= m_entries.size())
        return {};
    const Entry& e = m_entries[std::size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return index.column() == 0 ? e.time : e.text;
    case Qt::BackgroundRole:
        return e.color == wincolor::None ? QVariant() : QVariant(to_qcolor(e.color));
    case WinColorRole:
        return QVariant::fromValue(e.color);
    case Qt::TextAlignmentRole:
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant HistoryLog::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return section == 0 ? QStringLiteral("操作時間") : QStringLiteral("操作内容");
    case Qt::ForegroundRole:
        return to_qcolor(wincolor::HeaderText);
    case Qt::TextAlignmentRole:
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
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
