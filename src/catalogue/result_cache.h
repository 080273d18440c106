// The remembered result of each scan, one list per root and document type: file names and
// their folders, in the order the scan found them, as the file system's exact bytes.
#pragma once

#include <QHash>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// The cache key of a root and type: the root path followed by the type letter.
QString list_key(const QString& root, const QString& docType);

// Hits stored compactly: every name in one byte block, each folder once per run of hits.
class HitList final
{
public:
    std::size_t size() const { return m_folderOf.size(); }
    bool empty() const { return m_folderOf.empty(); }

    std::string_view name(std::size_t i) const
    {
        const std::uint64_t begin = i == 0 ? 0 : m_nameEnd[i - 1];
        return std::string_view(m_names).substr(begin, m_nameEnd[i] - begin);
    }
    std::uint32_t folder_index(std::size_t i) const { return m_folderOf[i]; }
    std::string_view folder(std::size_t i) const { return m_folders[m_folderOf[i]]; }
    std::size_t folder_count() const { return m_folders.size(); }
    std::string_view folder_at(std::uint32_t f) const { return m_folders[f]; }

    // The texts of a hit, keeping every byte (see native_path).
    QString name_text(std::size_t i) const;
    QString folder_text(std::size_t i) const;

    // Adds a folder and returns its index for add(); hits of one folder share it.
    std::uint32_t add_folder(std::string_view folder);
    void add(std::string_view name, std::uint32_t folder);
    void append(const HitList& other);
    // Gives back the spare capacity once the list is complete.
    void squeeze();

private:
    std::string m_names;
    std::vector<std::uint64_t> m_nameEnd;
    std::vector<std::uint32_t> m_folderOf;
    std::vector<std::string> m_folders;
};

class ResultCache final
{
public:
    // A key has a cached list when its first name is not blank.
    bool has_cached_list(const QString& key) const;
    qsizetype count(const QString& key) const;
    const HitList* find(const QString& key) const;
    std::shared_ptr<const HitList> shared(const QString& key) const;

    // The key's list, created empty when missing; a scan appends its hits to it.
    std::shared_ptr<HitList> list_for(const QString& key);
    void append(const QString& key, const HitList& hits);
    // Makes the key's lists empty again (before a rescan, or after a cancelled one).
    void clear(const QString& key);
    void clear_all() { m_lists.clear(); }

private:
    QHash<QString, std::shared_ptr<HitList>> m_lists;
};

} // namespace pelmora
