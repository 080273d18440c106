// SPDX-License-Identifier: GPL-3.0-or-later
// Full-text search over the help pages that finds any word anywhere in a page, Japanese
// included: Japanese has no blanks between words, so pages are indexed by every pair of
// neighbouring characters and a word is looked up by its pairs, then confirmed in the text.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>

namespace pelmora {

class HelpSearchIndex final
{
public:
    struct Hit
    {
        QUrl url;
        QString title;
        QString excerpt; // the text around the first match
        int matches = 0; // occurrences of all words together
    };

    // html: the page as stored; its text (tags and entities resolved) is what is searched.
    void add_page(const QUrl& url, const QString& title, const QString& html);
    // Pages holding every blank-separated word of query (case and width folded), most
    // matches first. An empty query finds nothing.
    QList<Hit> search(const QString& query) const;
    qsizetype size() const { return m_pages.size(); }

    // The visible text of an HTML page.
    static QString plain_text(const QString& html);

private:
    struct Page
    {
        QUrl url;
        QString title;
        QString text;   // as shown
        QString folded; // for matching, same length as text
    };
    QList<int> candidates(const QString& word) const;

    QList<Page> m_pages;
    QHash<QString, QList<int>> m_pairs; // two folded characters -> pages, ascending
};

} // namespace pelmora
