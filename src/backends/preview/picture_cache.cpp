// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/preview/picture_cache.h"

namespace pelmora {

size_t qHash(const PictureKey& key, size_t seed)
{
    return qHashMulti(seed, key.path, key.modified_ns, key.size, key.width, key.page, key.crop);
}

PictureCache::Entry* PictureCache::touch(const PictureKey& key)
{
    const auto it = m_entries.find(key);
    if (it == m_entries.end())
        return nullptr;
    it->last_used = ++m_clock;
    return &*it;
}

std::optional<QImage> PictureCache::find(const PictureKey& key)
{
    const Entry* entry = touch(key);
    if (entry == nullptr || entry->image.isNull())
        return std::nullopt;
    return entry->image;
}

PictureKey PictureCache::pdf_key(const PictureKey& key, bool whole)
{
    PictureKey pdf = key;
    pdf.width = 0;
    pdf.page = whole ? -1 : 0;
    pdf.crop = false;
    return pdf;
}

std::optional<QByteArray> PictureCache::find_page(const PictureKey& key, bool whole)
{
    const Entry* entry = touch(pdf_key(key, whole));
    if (entry == nullptr || entry->page.isEmpty())
        return std::nullopt;
    return entry->page;
}

void PictureCache::insert(const PictureKey& key, const QImage& image)
{
    put(key, Entry{image, {}, 0});
}

void PictureCache::insert_page(const PictureKey& key, const QByteArray& pdf, bool whole)
{
    put(pdf_key(key, whole), Entry{{}, pdf, 0});
}

void PictureCache::put(const PictureKey& key, Entry entry)
{
    const qint64 bytes = entry.bytes();
    if (bytes > m_limit)
        return;
    if (const auto old = m_entries.find(key); old != m_entries.end()) {
        m_bytes -= old->bytes();
        m_entries.erase(old);
    }
    while (m_bytes + bytes > m_limit && !m_entries.isEmpty()) {
        auto oldest = m_entries.begin();
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->last_used < oldest->last_used)
                oldest = it;
        }
        m_bytes -= oldest->bytes();
        m_entries.erase(oldest);
    }
    entry.last_used = ++m_clock;
    m_entries.insert(key, entry);
    m_bytes += bytes;
}

void PictureCache::clear()
{
    m_entries.clear();
    m_bytes = 0;
}

} // namespace pelmora
