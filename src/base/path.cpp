// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/path.h"

#include "base/native_path.h"

#include <QStringList>

namespace pelmora {

namespace {

constexpr QChar kSeparator = u'/';

// The text without separators at the end; "/" stays "/".
QString without_trailing(const QString& text)
{
    qsizetype end = text.size();
    while (end > 1 && text.at(end - 1) == kSeparator)
        --end;
    return text.left(end);
}

} // namespace

Path Path::from_bytes(const QByteArray& bytes)
{
    return Path(native_path::from_native(bytes));
}

QByteArray Path::bytes() const
{
    return native_path::to_native(m_text);
}

QString Path::readable() const
{
    return native_path::readable(m_text);
}

Path Path::folder() const
{
    const QString text = without_trailing(m_text);
    const qsizetype cut = text.lastIndexOf(kSeparator);
    if (cut < 0)
        return {};
    const QString up = without_trailing(text.left(cut));
    return Path(up.isEmpty() ? QString(kSeparator) : up);
}

QString Path::name() const
{
    const QString text = without_trailing(m_text);
    if (text == kSeparator)
        return {};
    return text.mid(text.lastIndexOf(kSeparator) + 1);
}

QString Path::suffix() const
{
    const QString base = name();
    const qsizetype dot = base.lastIndexOf(u'.');
    return dot > 0 ? base.mid(dot + 1) : QString();
}

Path Path::child(const QString& name) const
{
    if (m_text.isEmpty())
        return Path(name);
    return Path(with_separator().m_text + name);
}

Path Path::cleaned() const
{
    const bool absolute = m_text.startsWith(kSeparator);
    QStringList kept;
    for (const QString& part : m_text.split(kSeparator, Qt::SkipEmptyParts)) {
        if (part == u".")
            continue;
        if (part == u"..") {
            if (!kept.isEmpty() && kept.back() != u"..")
                kept.removeLast();
            else if (!absolute)
                kept.append(part); // a relative path may climb above its start
            continue;
        }
        kept.append(part);
    }
    const QString joined = kept.join(kSeparator);
    if (absolute)
        return Path(kSeparator + joined);
    return Path(joined.isEmpty() && !m_text.isEmpty() ? QStringLiteral(".") : joined);
}

Path Path::with_separator() const
{
    if (m_text.isEmpty())
        return {};
    QString text = without_trailing(m_text);
    if (!text.endsWith(kSeparator))
        text += kSeparator;
    return Path(text);
}

Path Path::with_separator_added() const
{
    if (m_text.trimmed().endsWith(kSeparator))
        return *this;
    return Path(m_text + kSeparator);
}

Path Path::without_separator_at_end() const
{
    return ends_with_separator() ? Path(m_text.chopped(1)) : *this;
}

bool Path::is_within(const Path& root) const
{
    const QString self = cleaned().m_text;
    const QString top = root.cleaned().m_text;
    if (top.isEmpty())
        return false;
    if (self == top)
        return true;
    return self.startsWith(top == kSeparator ? top : top + kSeparator);
}

} // namespace pelmora
