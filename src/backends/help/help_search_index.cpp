// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/help/help_search_index.h"

#include <QRegularExpression>
#include <algorithm>

namespace pelmora {

namespace {

// Case and width folded one character at a time, so positions match the shown text.
QString fold(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const QString one = QString(c).normalized(QString::NormalizationForm_KC).toCaseFolded();
        out.append(one.size() == 1 ? one.front() : c.toCaseFolded());
    }
    return out;
}

QString decode_entities(QString text)
{
    static const std::pair<const char*, const char*> named[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&nbsp;", " "}};
    for (const auto& [entity, value] : named)
        text.replace(QLatin1String(entity), QLatin1String(value));
    static const QRegularExpression numeric(QStringLiteral("&#(x?)([0-9A-Fa-f]+);"));
    QString out;
    qsizetype last = 0;
    for (auto it = numeric.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += text.mid(last, m.capturedStart() - last);
        bool ok = false;
        const uint code = m.captured(2).toUInt(&ok, m.captured(1).isEmpty() ? 10 : 16);
        out += ok ? QString::fromUcs4(reinterpret_cast<const char32_t*>(&code), 1) : m.captured();
        last = m.capturedEnd();
    }
    out += text.mid(last);
    return out.replace(QLatin1String("&amp;"), QLatin1String("&"));
}

} // namespace

QString HelpSearchIndex::plain_text(const QString& html)
{
    QString text = html;
    static const QRegularExpression hidden(QStringLiteral("<(head|script|style)\\b.*?</\\1>"),
                                           QRegularExpression::DotMatchesEverythingOption |
                                               QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression breaks(
        QStringLiteral("<(br|/p|/h[1-6]|/li|/tr|/td|/th|/div|/dt|/dd)\\b[^>]*>"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
    static const QRegularExpression blanks(QStringLiteral("[ \\t\\r\\n]+"));
    text.remove(hidden);
    text.replace(breaks, QStringLiteral(" "));
    text.remove(tags);
    text = decode_entities(text);
    text.replace(blanks, QStringLiteral(" "));
    return text.trimmed();
}

void HelpSearchIndex::add_page(const QUrl& url, const QString& title, const QString& html)
{
    Page page{url, title, plain_text(html), {}};
    page.folded = fold(page.text);
    const int number = static_cast<int>(m_pages.size());
    for (qsizetype i = 0; i + 1 < page.folded.size(); ++i) {
        QList<int>& pages = m_pairs[page.folded.mid(i, 2)];
        if (pages.isEmpty() || pages.back() != number)
            pages.append(number);
    }
    m_pages.append(std::move(page));
}

QList<int> HelpSearchIndex::candidates(const QString& word) const
{
    QList<int> result;
    if (word.size() < 2) {
        for (int i = 0; i < m_pages.size(); ++i)
            result.append(i);
        return result;
    }
    for (qsizetype i = 0; i + 1 < word.size(); ++i) {
        const auto it = m_pairs.constFind(word.mid(i, 2));
        if (it == m_pairs.cend())
            return {};
        if (i == 0) {
            result = *it;
            continue;
        }
        QList<int> both;
        std::set_intersection(result.cbegin(), result.cend(), it->cbegin(), it->cend(),
                              std::back_inserter(both));
        result = std::move(both);
        if (result.isEmpty())
            break;
    }
    return result;
}

QList<HelpSearchIndex::Hit> HelpSearchIndex::search(const QString& query) const
{
    const QStringList words = fold(query).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {};
    QList<int> pages = candidates(words.front());
    for (qsizetype w = 1; w < words.size() && !pages.isEmpty(); ++w) {
        const QList<int> more = candidates(words.at(w));
        QList<int> both;
        std::set_intersection(pages.cbegin(), pages.cend(), more.cbegin(), more.cend(),
                              std::back_inserter(both));
        pages = std::move(both);
    }
    QList<Hit> hits;
    for (const int number : pages) {
        const Page& page = m_pages.at(number);
        int matches = 0;
        qsizetype first = -1;
        bool all = true;
        for (const QString& word : words) {
            const int count = static_cast<int>(page.folded.count(word));
            if (count == 0) {
                all = false;
                break;
            }
            matches += count;
            const qsizetype at = page.folded.indexOf(word);
            if (first < 0 || at < first)
                first = at;
        }
        if (!all)
            continue;
        const qsizetype from = std::max<qsizetype>(0, first - 20);
        QString excerpt = page.text.mid(from, 60);
        if (from > 0)
            excerpt.prepend(QStringLiteral("…"));
        hits.append({page.url, page.title, excerpt, matches});
    }
    std::stable_sort(hits.begin(), hits.end(),
                     [](const Hit& a, const Hit& b) { return a.matches > b.matches; });
    return hits;
}

} // namespace pelmora
