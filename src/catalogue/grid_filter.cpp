// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/grid_filter.h"

#include "catalogue/filter_key.h"
#include "catalogue/result_table_model.h"
#include "session/result_cache.h"

#include <QMetaObject>
#include <QPointer>
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string_view>
#include <thread>

namespace pelmora {
namespace {

// How many bytes of keys are searched between two looks for a newer text.
constexpr std::size_t kBytesBetweenChecks = std::size_t(1) << 20;
// Ends every key in a block: no UTF-8 text holds this byte, so no word is found across keys.
constexpr char kKeyEnd = '\xff';
// Results of recent texts kept, so that taking letters back and typing them again is instant.
constexpr std::size_t kRememberedTexts = 32;
// Blocks of keys larger than this are searched on two threads.
constexpr std::size_t kSplitBytes = std::size_t(4) << 20;
// A narrower text checks its candidates one by one when they are fewer than the listed rows
// divided by this; more, and searching the whole blocks is quicker.
constexpr std::size_t kFewCandidates = 16;

// True when every row that holds all of now also holds all of before.
bool narrows(const std::vector<std::string>& before, const std::vector<std::string>& now)
{
    return std::all_of(before.begin(), before.end(), [&now](const std::string& b) {
        return std::any_of(now.begin(), now.end(),
                           [&b](const std::string& n) { return n.find(b) != std::string::npos; });
    });
}

// One bit per hit.
class Bits
{
public:
    explicit Bits(std::size_t size = 0, bool on = false)
        : m_words((size + 63) / 64, on ? ~std::uint64_t(0) : 0)
    {
        if (on && size % 64 != 0)
            m_words.back() = (std::uint64_t(1) << (size % 64)) - 1;
    }
    bool test(std::size_t i) const { return ((m_words[i / 64] >> (i % 64)) & 1) != 0; }
    void set(std::size_t i) { m_words[i / 64] |= std::uint64_t(1) << (i % 64); }
    bool any() const
    {
        return std::any_of(m_words.begin(), m_words.end(), [](std::uint64_t w) { return w != 0; });
    }
    std::size_t count() const
    {
        std::size_t n = 0;
        for (const std::uint64_t w : m_words)
            n += std::size_t(std::popcount(w));
        return n;
    }
    void keep_common(const Bits& other)
    {
        for (std::size_t i = 0; i < m_words.size(); ++i)
            m_words[i] &= other.m_words[i];
    }
    // Calls f with every bit set, ascending.
    template <class F> void for_each(const F& f) const
    {
        for (std::size_t i = 0; i < m_words.size(); ++i) {
            for (std::uint64_t w = m_words[i]; w != 0; w &= w - 1)
                f(i * 64 + std::size_t(std::countr_zero(w)));
        }
    }

private:
    std::vector<std::uint64_t> m_words;
};

// Keys, each followed by kKeyEnd, in one run of bytes searched as a whole.
struct KeyBlock
{
    std::string bytes;
    std::vector<std::uint32_t> ends;       // just past each key's kKeyEnd
    std::array<std::size_t, 256> counts{}; // of each byte value: a word is looked for by its rarest

    void add(const std::string& key)
    {
        bytes += key;
        bytes += kKeyEnd;
        ends.push_back(std::uint32_t(bytes.size()));
    }
    void finish()
    {
        bytes.shrink_to_fit();
        for (const char c : bytes)
            ++counts[static_cast<unsigned char>(c)];
    }
    std::size_t size() const { return ends.size(); }
    const char* begin_of(std::size_t i) const { return bytes.data() + (i == 0 ? 0 : ends[i - 1]); }
    const char* end_of(std::size_t i) const { return bytes.data() + ends[i] - 1; }
    // The key holding the byte at offset at, found onward from key from.
    std::size_t key_at(std::size_t at, std::size_t from) const
    {
        std::size_t lo = from;
        std::size_t step = 1;
        while (lo + step < ends.size() && ends[lo + step] <= at) {
            lo += step;
            step *= 2;
        }
        const auto hi = ends.begin() + std::ptrdiff_t(std::min(lo + step + 1, ends.size()));
        return std::size_t(std::upper_bound(ends.begin() + std::ptrdiff_t(lo), hi, at) -
                           ends.begin());
    }
};

// A word looked for in a block: memchr finds the word's rarest byte there, then the rest is
// compared.
class Finder
{
public:
    Finder(std::string_view word, const KeyBlock& block) : m_word(word)
    {
        for (std::size_t i = 1; i < word.size(); ++i) {
            if (block.counts[static_cast<unsigned char>(word[i])] <
                block.counts[static_cast<unsigned char>(word[m_anchor])])
                m_anchor = i;
        }
    }
    std::size_t size() const { return m_word.size(); }
    // The first place in [from, end) that holds the word.
    const char* find(const char* from, const char* end) const
    {
        const std::size_t n = m_word.size();
        if (end - from < std::ptrdiff_t(n))
            return nullptr;
        const char* p = from + m_anchor;
        const char* const last = end - n + m_anchor;
        const char anchor = m_word[m_anchor];
        while (p <= last) {
            p = static_cast<const char*>(std::memchr(p, anchor, std::size_t(last - p) + 1));
            if (p == nullptr)
                return nullptr;
            const char* start = p - m_anchor;
            if (std::memcmp(start, m_word.data(), n) == 0)
                return start;
            ++p;
        }
        return nullptr;
    }

private:
    std::string_view m_word;
    std::size_t m_anchor = 0;
};

// Sets the bit of every key in [first, last) of the block that holds the word; false when
// stopped meanwhile.
template <class Stop>
bool mark_holders(const KeyBlock& block, const Finder& word, Bits& out, const Stop& stopped,
                  std::size_t first, std::size_t last)
{
    const char* const base = block.bytes.data();
    const char* const end = block.end_of(last - 1) + 1;
    const char* from = block.begin_of(first);
    std::size_t key = first;
    while (from < end) {
        if (stopped())
            return false;
        const char* const chunkEnd = from + std::min(kBytesBetweenChecks, std::size_t(end - from));
        while (const char* at = word.find(from, chunkEnd)) {
            key = block.key_at(std::size_t(at - base), key);
            out.set(key);
            from = base + block.ends[key];
        }
        // A word that starts before the chunk's end and runs past it is found in the next.
        from = chunkEnd == end ? end : std::max(from, chunkEnd - std::ptrdiff_t(word.size()) + 1);
    }
    return !stopped();
}

// The same over the whole block; a large one is searched in two halves at once, each setting
// bits of its own words of out.
template <class Stop>
bool mark_holders(const KeyBlock& block, const Finder& word, Bits& out, const Stop& stopped)
{
    const std::size_t n = block.size();
    if (n == 0)
        return !stopped();
    if (block.bytes.size() < kSplitBytes)
        return mark_holders(block, word, out, stopped, 0, n);
    const std::size_t half = n / 2 / 64 * 64;
    bool upperDone = false;
    {
        const std::jthread upper(
            [&] { upperDone = mark_holders(block, word, out, stopped, half, n); });
        if (!mark_holders(block, word, out, stopped, 0, half))
            return false;
    }
    return upperDone;
}

} // namespace

// Folded names of the hits and of their folders, each in one block.
struct GridFilter::Keys
{
    std::shared_ptr<const HitList> list;
    std::size_t count = 0;
    KeyBlock names; // of each hit
    std::vector<std::uint32_t> folderOf;
    KeyBlock folders;
};

// The hits that hold every word of a recent text.
struct GridFilter::Found
{
    std::vector<std::string> words;
    Bits hits;
    std::size_t count = 0;
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

bool GridFilter::make_keys(const Request& r, std::uint64_t listing)
{
    m_found.clear();
    m_keys.reset();
    auto keys = std::make_unique<Keys>();
    keys->list = r.list;
    keys->count = r.count;
    const HitList& list = *r.list;
    keys->names.ends.reserve(r.count);
    keys->folderOf.reserve(r.count);
    bool given_up = false;
    for (std::size_t i = 0; i < r.count && !given_up; ++i) {
        keys->names.add(filter_key_of_bytes(list.name(i)));
        keys->folderOf.push_back(list.folder_index(i));
        given_up = i % 4096 == 0 && m_listing.load() != listing;
    }
    for (std::size_t f = 0; f < list.folder_count() && !given_up; ++f) {
        keys->folders.add(filter_key_of_bytes(list.folder_at(std::uint32_t(f))));
        given_up = f % 4096 == 0 && m_listing.load() != listing;
    }
    if (given_up)
        return false;
    keys->names.finish();
    keys->folders.finish();
    m_keys = std::move(keys);
    return true;
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
            m_found.clear();
            continue;
        }
        if ((!m_keys || m_keys->list != r.list || m_keys->count != r.count) &&
            !make_keys(r, listing))
            continue;
        if (r.words.empty() || m_latest.load() != r.id)
            continue;
        const Found* found = find(r);
        if (found == nullptr || m_latest.load() != r.id)
            continue;
        const Bits* hits = &found->hits;
        std::vector<std::uint32_t> rows;
        rows.reserve(found->count);
        if (r.order) {
            const std::vector<std::uint32_t>& order = *r.order;
            for (std::size_t i = 0; i < r.count; ++i) {
                if (hits->test(order[i]))
                    rows.push_back(std::uint32_t(i));
            }
        } else {
            for (std::size_t i = 0; i < r.count; ++i) {
                if (hits->test(i))
                    rows.push_back(std::uint32_t(i));
            }
        }
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

const GridFilter::Found* GridFilter::find(const Request& r)
{
    const auto same = std::find_if(m_found.begin(), m_found.end(),
                                   [&r](const Found& f) { return f.words == r.words; });
    if (same != m_found.end()) {
        std::rotate(same, same + 1, m_found.end()); // the newest last
        return &m_found.back();
    }
    // A longer text looks only among the hits of the narrowest shorter one remembered.
    const Found* base = nullptr;
    for (const Found& f : m_found) {
        if (narrows(f.words, r.words) && (base == nullptr || f.count < base->count))
            base = &f;
    }
    const Keys& k = *m_keys;
    const auto stopped = [this, id = r.id] {
        return m_latest.load(std::memory_order_relaxed) != id;
    };
    Found found{r.words, Bits(k.count, true), 0};
    // Which folders hold each word: searched once per folder, not once per hit.
    std::vector<Bits> folderHolds;
    for (const std::string& w : r.words) {
        folderHolds.emplace_back(k.folders.size());
        if (!mark_holders(k.folders, Finder(w, k.folders), folderHolds.back(), stopped))
            return nullptr;
    }
    if (base != nullptr && base->count <= k.count / kFewCandidates) {
        std::vector<Finder> words;
        for (const std::string& w : r.words)
            words.emplace_back(w, k.names);
        Bits hits(k.count);
        base->hits.for_each([&](std::size_t hit) {
            const std::uint32_t folder = k.folderOf[hit];
            for (std::size_t w = 0; w < words.size(); ++w) {
                if (!folderHolds[w].test(folder) &&
                    words[w].find(k.names.begin_of(hit), k.names.end_of(hit)) == nullptr)
                    return;
            }
            hits.set(hit);
        });
        found.hits = std::move(hits);
    } else {
        if (base != nullptr)
            found.hits = base->hits;
        for (std::size_t w = 0; w < r.words.size(); ++w) {
            Bits holders(k.count);
            if (!mark_holders(k.names, Finder(r.words[w], k.names), holders, stopped))
                return nullptr;
            if (folderHolds[w].any()) {
                for (std::size_t hit = 0; hit < k.count; ++hit) {
                    if (folderHolds[w].test(k.folderOf[hit]))
                        holders.set(hit);
                }
            }
            found.hits.keep_common(holders);
        }
    }
    found.count = found.hits.count();
    if (m_found.size() == kRememberedTexts)
        m_found.erase(m_found.begin());
    m_found.push_back(std::move(found));
    return &m_found.back();
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
