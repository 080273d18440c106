// SPDX-License-Identifier: GPL-3.0-or-later
// The filter of the result grid: as the user types, the grid shows only the rows whose file
// name or folder holds every typed word (see filter_key). The folded key of each hit is made
// once per listing, on a worker thread that starts when the listing is complete; matching runs
// there too, over those keys, and the newest text wins: a text typed while an older one is
// still being matched stops that match. The hits of recent texts are kept, so a longer text
// looks only among those of a shorter one and a text typed again is found at once. The grid
// is only told the rows to show.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pelmora {

class HitList;
class ResultTableModel;

class GridFilter final : public QObject
{
    Q_OBJECT
public:
    explicit GridFilter(ResultTableModel& grid, QObject* parent = nullptr);
    ~GridFilter() override;

    // The listing in the grid is complete: its keys are made now, before anyone types.
    void prepare();
    // A new listing begins: the filter is dropped and so are the keys of the old one.
    void reset();
    // Shows the rows that match text (all rows for a text without words).
    void set_text(const QString& text);
    bool active() const { return !m_words.empty(); }
    QString text() const { return m_text; }

Q_SIGNALS:
    // The grid shows the rows of the newest text: shown of total listed rows.
    void applied(qsizetype shown, qsizetype total);

private:
    struct Keys;
    struct Found;
    struct Request
    {
        std::uint64_t id = 0;
        std::shared_ptr<const HitList> list;
        std::shared_ptr<const std::vector<std::uint32_t>> order;
        std::size_t count = 0;
        std::vector<std::string> words; // empty: make the keys only
    };
    void send();
    void run();
    // False when a newer listing came meanwhile.
    bool make_keys(const Request& r, std::uint64_t listing);
    // The hits that hold every word, or null when a newer request came meanwhile.
    const Found* find(const Request& r);
    void deliver(std::uint64_t id, const std::shared_ptr<const std::vector<std::uint32_t>>& order,
                 std::size_t count, std::vector<std::uint32_t> rows);

    ResultTableModel& m_grid;
    QString m_text;
    std::vector<std::string> m_words;
    std::uint64_t m_sent = 0; // id of the newest request (this thread's copy)

    // Shared with the worker, under m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_pending = false;
    bool m_stop = false;
    Request m_request;
    // Newest id and listing, read by the worker to give up an older match or an old list.
    std::atomic<std::uint64_t> m_latest{0};
    std::atomic<std::uint64_t> m_listing{0};

    // The worker's own.
    std::unique_ptr<Keys> m_keys;
    std::vector<Found> m_found; // recent texts, the newest last: a narrower one looks among these
    std::thread m_worker;
};

} // namespace pelmora
