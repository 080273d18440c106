// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/grid_filter.h"

#include "catalogue/filter_key.h"
#include "catalogue/result_table_model.h"
#include "session/result_cache.h"

#include <QMetaObject>
#include <QPointer>
#include <algorithm>
#include <string_view>

namespace pelmora {
namespace {

// How many rows are matched between two looks for a newer text.
constexpr std::size_t kRowsBetweenChecks = 16384;

// True when every row that holds all of now also holds all of before.
bool narrows(const std::vector<std::string>& before, const std::vector<std::string>& now)
{
    return std::all_of(before.begin(), before.end(), [&now](const std::string& b) {
        return std::any_of(now.begin(), now.end(),
                           [&b](const std::string& n) { return n.find(b) != std::string::npos; });
    });
}

} // namespace

// Folded names of the hits and of their folders, each run of keys in one block.
struct GridFilter::Keys
{
    std::shared_ptr<const HitList> list;
    std::size_t count = 0;
    std::string names;
    std::vector<std::uint32_t> nameEnd; // of each hit
    std::vector<std::uint32_t> folderOf;
    std::string folders;
    std::vector<std::uint32_t> folderEnd;

    static std::string_view part(const std::string& block, const std::vector<std::uint32_t>& ends,
                                 std::size_t i)
    {
        const std::uint32_t begin = i == 0 ? 0 : ends[i - 1];
        return std::string_view(block).substr(begin, ends[i] - begin);
    }
    std::string_view name(std::size_t hit) const { return part(names, nameEnd, hit); }
    std::string_view folder(std::size_t f) const { return part(folders, folderEnd, f); }
    std::size_t folder_count() const { return folderEnd.size(); }
};

GridFilter::GridFilter(ResultTableModel& grid, QObject* parent) : QObject(parent), m_grid(grid)
{
    m_worker = std::thread([this] { run(); });
}

GridFilter::~GridFilter()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_latest.store(~std::uint64_t(0));
    m_listing.fetch_add(1);
    m_wake.notify_one();
    m_worker.join();
}

void GridFilter::prepare()
{
    m_words.clear();
    m_text.clear();
    send();
}

void GridFilter::reset()
{
    m_text.clear();
    m_words.clear();
    m_listing.fetch_add(1); // stops making the keys of the old listing
    {
        const std::lock_guard lock(m_mutex);
        m_request = Request{++m_sent, nullptr, nullptr, 0, {}};
        m_pending = true;
    }
    m_latest.store(m_sent);
    m_wake.notify_one();
    m_grid.show_all_rows();
}

void GridFilter::set_text(const QString& text)
{
    m_text = text;
    m_words = filter_words(text);
    if (m_words.empty()) {
        m_latest.store(++m_sent); // whatever is being matched is not wanted any more
        m_grid.show_all_rows();
        Q_EMIT applied(m_grid.size(), m_grid.listed_size());
        return;
    }
    if (!m_grid.list()) {
        m_grid.show_listed_rows({});
        Q_EMIT applied(0, 0);
        return;
    }
    send();
}

void GridFilter::send()
{
    {
        const std::lock_guard lock(m_mutex);
        m_request = Request{++m_sent, m_grid.list(), m_grid.order(),
                            std::size_t(m_grid.listed_size()), m_words};
        m_pending = true;
    }
    m_latest.store(m_sent);
    m_wake.notify_one();
}

void GridFilter::run()
{
    for (;;) {
        Request r;
        std::uint64_t listing = 0;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_pending || m_stop; });
            if (m_stop)
                return;
            r = std::move(m_request);
            m_pending = false;
            listing = m_listing.load();
        }
        if (!r.list) {
            m_keys.reset();
            m_previous = {};
            continue;
        }
        if (!m_keys || m_keys->list != r.list || m_keys->count != r.count) {
            m_previous = {};
            auto keys = std::make_unique<Keys>();
            keys->list = r.list;
            keys->count = r.count;
            const HitList& list = *r.list;
            keys->nameEnd.reserve(r.count);
            keys->folderOf.reserve(r.count);
            bool given_up = false;
            for (std::size_t i = 0; i < r.count && !given_up; ++i) {
                keys->names += filter_key_of_bytes(list.name(i));
                keys->nameEnd.push_back(std::uint32_t(keys->names.size()));
                keys->folderOf.push_back(list.folder_index(i));
                given_up = i % 4096 == 0 && m_listing.load() != listing;
            }
            for (std::size_t f = 0; f < list.folder_count() && !given_up; ++f) {
                keys->folders += filter_key_of_bytes(list.folder_at(std::uint32_t(f)));
                keys->folderEnd.push_back(std::uint32_t(keys->folders.size()));
                given_up = f % 4096 == 0 && m_listing.load() != listing;
            }
            if (given_up)
                continue;
            keys->names.shrink_to_fit();
            keys->folders.shrink_to_fit();
            m_keys = std::move(keys);
        }
        if (r.words.empty() || m_latest.load() != r.id)
            continue;
        std::vector<std::uint32_t> rows;
        if (!match(r, rows))
            continue;
        m_previous = Previous{r.order, r.list.get(), r.words, rows};
        QPointer<GridFilter> self(this);
        QMetaObject::invokeMethod(
            this,
            [self, id = r.id, order = r.order, count = r.count, rows = std::move(rows)]() mutable {
                if (self)
                    self->deliver(id, order, count, std::move(rows));
            },
            Qt::QueuedConnection);
    }
}

bool GridFilter::match(const Request& r, std::vector<std::uint32_t>& rows)
{
    const Keys& k = *m_keys;
    const std::size_t words = r.words.size();
    // Which folders hold each word: looked at once per folder, not once per hit.
    std::vector<std::vector<bool>> folderHolds(words, std::vector<bool>(k.folder_count()));
    for (std::size_t w = 0; w < words; ++w) {
        for (std::size_t f = 0; f < k.folder_count(); ++f)
            folderHolds[w][f] = k.folder(f).find(r.words[w]) != std::string_view::npos;
    }
    const auto holds = [&](std::uint32_t row) {
        const std::uint32_t hit = r.order ? (*r.order)[row] : row;
        const std::string_view name = k.name(hit);
        const std::uint32_t folder = k.folderOf[hit];
        for (std::size_t w = 0; w < words; ++w) {
            if (!folderHolds[w][folder] && name.find(r.words[w]) == std::string_view::npos)
                return false;
        }
        return true;
    };
    const bool narrower = m_previous.list == r.list.get() && m_previous.order == r.order &&
                          narrows(m_previous.words, r.words);
    const std::size_t candidates = narrower ? m_previous.rows.size() : r.count;
    for (std::size_t i = 0; i < candidates; ++i) {
        if (i % kRowsBetweenChecks == 0 && m_latest.load() != r.id)
            return false;
        const auto row = narrower ? m_previous.rows[i] : std::uint32_t(i);
        if (holds(row))
            rows.push_back(row);
    }
    return m_latest.load() == r.id;
}

void GridFilter::deliver(std::uint64_t id,
                         const std::shared_ptr<const std::vector<std::uint32_t>>& order,
                         std::size_t count, std::vector<std::uint32_t> rows)
{
    if (id != m_sent || m_words.empty())
        return; // a newer text is on its way
    if (order != m_grid.order() || count != std::size_t(m_grid.listed_size())) {
        send(); // the rows were sorted or added to meanwhile: match them as they are now
        return;
    }
    m_grid.show_listed_rows(std::move(rows));
    Q_EMIT applied(m_grid.size(), m_grid.listed_size());
}

} // namespace pelmora
