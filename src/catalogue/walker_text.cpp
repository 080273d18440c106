// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/walker_text.h"

namespace pelmora {

std::string with_backslash(std::string path)
{
    if (path.empty() || path.back() != kFolderSeparator)
        path.push_back(kFolderSeparator);
    return path;
}

QString with_backslash(QString path)
{
    if (!path.endsWith(QLatin1Char(kFolderSeparator)))
        path.append(QLatin1Char(kFolderSeparator));
    return path;
}

std::string_view file_suffix(std::string_view name)
{
    const auto dot = name.find('.');
    if (dot == std::string_view::npos || dot == 0)
        return {};
    return name.substr(dot + 1);
}

QString file_suffix(const QString& name)
{
    const auto dot = name.indexOf(QLatin1Char('.'));
    if (dot <= 0)
        return {};
    return name.mid(dot + 1);
}

QString trim_at_nul(const QString& text)
{
    const auto nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

std::string_view trim_at_nul(std::string_view text)
{
    const auto nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

namespace {
char ascii_upper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}
} // namespace

SuffixMatcher::SuffixMatcher(const QString& filter) : m_upper(filter.toUpper())
{
    m_upperAscii = m_upper.toStdString();
}

bool SuffixMatcher::matches(std::string_view name) const
{
    const std::string_view suffix = file_suffix(name);
    if (suffix.empty())
        return m_upper.isEmpty();
    bool ascii = true;
    for (const char c : suffix) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        if (suffix.size() != m_upperAscii.size())
            return false;
        for (std::size_t i = 0; i < suffix.size(); ++i) {
            if (ascii_upper(suffix[i]) != m_upperAscii[i])
                return false;
        }
        return true;
    }
    // Rare: letters such as U+017F upper-case to ASCII, so compare as Unicode.
    return QString::fromUtf8(suffix.data(), qsizetype(suffix.size())).toUpper() == m_upper;
}

} // namespace pelmora
