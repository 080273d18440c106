// SPDX-License-Identifier: GPL-3.0-or-later
// The operation history of one run: one time-stamped row per action, oldest first, with the
// colour of the command that wrote it. Lives in memory only.
#pragma once

#include "session/two_column_grid.h"

#include <QDateTime>
#include <vector>

namespace pelmora {

class Clock;

namespace history {
inline constexpr WinColor Refresh = 0xFF8080u;
inline constexpr WinColor Open = 0xC0FFFFu;
inline constexpr WinColor Copy = 0xFFC0C0u;
inline constexpr WinColor Move = 0xFFFF80u;
inline constexpr WinColor Trash = 0xC0FFC0u;
inline constexpr WinColor Compress = 0xFFC0FFu;
inline constexpr WinColor Failure = wincolor::Failure;
inline const QString kFailureText = QStringLiteral("上記の作業に失敗しました");
} // namespace history

inline constexpr int kHistoryTimeTwips = 2500;
inline constexpr int kHistoryTextTwips = 10000;

// "yy年mm月dd日 hh時nn分ss秒", 24-hour clock.
QString history_time_stamp(const QDateTime& t);

class HistoryLog final : public TwoColumnGrid
{
    Q_OBJECT
public:
    struct Entry
    {
        QString time;
        QString text;
        WinColor color = wincolor::None;
    };
    explicit HistoryLog(Clock& clock, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void append_history_row(const QString& text, WinColor color = wincolor::None);
    void append_failure_row() { append_history_row(history::kFailureText, history::Failure); }
    void reset_history_grid();

    qsizetype size() const { return qsizetype(m_entries.size()); }
    const Entry& entry(qsizetype i) const { return m_entries[std::size_t(i)]; }

private:
    Clock& m_clock;
    std::vector<Entry> m_entries;
};

} // namespace pelmora
