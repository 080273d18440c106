// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures already drawn, per file version, page, picture width and crop, and the PDFs they
// were drawn from (page 1 alone, or the whole document), per file version, within one memory
// budget: the least recently used go first.
#pragma once

#include <QHash>
#include <QImage>
#include <QString>
#include <optional>

namespace pelmora {

struct PictureKey
{
    QString path;
    qint64 modified_ns = 0;
    qint64 size = 0; // catches rewrites within one time stamp tick
    int width = 0;   // 0 for the PDF itself
    int page = 0;    // 0 for page 1
    bool crop = false;

    bool operator==(const PictureKey&) const = default;
};

size_t qHash(const PictureKey& key, size_t seed = 0);

class PictureCache final
{
public:
    explicit PictureCache(qint64 limit_bytes) : m_limit(limit_bytes) {}

    std::optional<QImage> find(const PictureKey& key);
    // A picture larger than the whole budget is not kept.
    void insert(const PictureKey& key, const QImage& image);
    // The first page (or, whole, every page) as PDF, kept so other pages and widths are drawn
    // without converting again.
    std::optional<QByteArray> find_page(const PictureKey& key, bool whole = false);
    void insert_page(const PictureKey& key, const QByteArray& pdf, bool whole = false);
    void clear();
    qint64 bytes() const { return m_bytes; }
    qsizetype count() const { return m_entries.size(); }

private:
    struct Entry
    {
        QImage image;
        QByteArray page;
        quint64 last_used = 0;
        qint64 bytes() const { return image.sizeInBytes() + page.size(); }
    };
    Entry* touch(const PictureKey& key);
    static PictureKey pdf_key(const PictureKey& key, bool whole);
    void put(const PictureKey& key, Entry entry);
    QHash<PictureKey, Entry> m_entries;
    qint64 m_limit;
    qint64 m_bytes = 0;
    quint64 m_clock = 0;
};

} // namespace pelmora
