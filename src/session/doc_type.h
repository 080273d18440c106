// SPDX-License-Identifier: GPL-3.0-or-later
// The document type listed: Excel workbooks or Word documents. One value gives the type
// letter of the cache key, the file suffix and the question asked before switching to it.
#pragma once

#include <QString>

namespace pelmora {

class DocType final
{
public:
    enum class Kind { Excel, Word };

    constexpr DocType() = default;
    constexpr explicit DocType(Kind kind) : m_kind(kind) {}
    static DocType excel() { return DocType(Kind::Excel); }
    static DocType word() { return DocType(Kind::Word); }

    Kind kind() const { return m_kind; }
    // "X" or "D": the letter of the cache key.
    QString letter() const
    {
        return m_kind == Kind::Excel ? QStringLiteral("X") : QStringLiteral("D");
    }
    // "XLS" or "DOC": the suffix the walker looks for.
    QString suffix() const
    {
        return m_kind == Kind::Excel ? QStringLiteral("XLS") : QStringLiteral("DOC");
    }
    // The confirmation before the list switches to this type.
    QString switch_question() const
    {
        return m_kind == Kind::Excel ? QStringLiteral("Excel に表示を切替ます\r\nよろしいですか")
                                     : QStringLiteral("Word に表示を切替ます\r\nよろしいですか");
    }

    friend bool operator==(DocType a, DocType b) { return a.m_kind == b.m_kind; }

private:
    Kind m_kind = Kind::Excel;
};

} // namespace pelmora
