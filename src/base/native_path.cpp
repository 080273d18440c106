// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/native_path.h"

#include <QStringDecoder>
#include <QStringList>
#include <unistd.h>

namespace pelmora::native_path {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool is_escape(char16_t c)
{
    return c >= 0xDC80 && c <= 0xDCFF;
}

// Length of the valid UTF-8 sequence starting at s[i], or 0 when it is not one. Overlong
// forms, encoded surrogates and code points past U+10FFFF are invalid: letting an encoded
// surrogate through would make two different names decode to the same text.
int valid_sequence(std::string_view s, std::size_t i, char32_t& cp)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    const auto cont = [&](std::size_t k) {
        return i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
    };
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]) & 0x3F; };
    if (b0 >= 0xC2 && b0 <= 0xDF && cont(1)) {
        cp = (char32_t(b0 & 0x1F) << 6) | byte(1);
        return 2;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF && cont(1) && cont(2)) {
        cp = (char32_t(b0 & 0x0F) << 12) | (char32_t(byte(1)) << 6) | byte(2);
        if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))
            return 0;
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4 && cont(1) && cont(2) && cont(3)) {
        cp = (char32_t(b0 & 0x07) << 18) | (char32_t(byte(1)) << 12) | (char32_t(byte(2)) << 6) |
             byte(3);
        if (cp < 0x10000 || cp > 0x10FFFF)
            return 0;
        return 4;
    }
    return 0;
}

QString readable_part(const QString& part)
{
    if (!has_raw_bytes(part))
        return part;
    const QByteArray bytes = to_native(part);
    QStringDecoder sjis("Shift_JIS", QStringDecoder::Flag::Stateless);
    if (sjis.isValid()) {
        QString decoded = sjis.decode(bytes);
        if (!sjis.hasError() && !decoded.contains(QChar::ReplacementCharacter))
            return decoded;
    }
    QString shown = part;
    for (QChar& c : shown) {
        if (is_escape(c.unicode()))
            c = QChar::ReplacementCharacter;
    }
    return shown;
}

} // namespace

QString from_native(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80)
        ++i;
    if (i == bytes.size())
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));

    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    out.append(QLatin1StringView(bytes.data(), static_cast<qsizetype>(i)));
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            out.append(QChar(char16_t(b)));
            ++i;
            continue;
        }
        char32_t cp = 0;
        const int len = valid_sequence(bytes, i, cp);
        if (len == 0) {
            out.append(QChar(char16_t(kEscapeBase + b)));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            out.append(QChar(QChar::highSurrogate(cp)));
            out.append(QChar(QChar::lowSurrogate(cp)));
        } else {
            out.append(QChar(char16_t(cp)));
        }
        i += static_cast<std::size_t>(len);
    }
    return out;
}

QByteArray to_native(const QString& path)
{
    if (!has_raw_bytes(path))
        return path.toUtf8();
    QByteArray out;
    out.reserve(path.size() * 3);
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = path.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n &&
            QChar::isLowSurrogate(path.at(i + 1).unicode())) {
            out.append(QString(path.constData() + i, 2).toUtf8());
            ++i;
        } else if (is_escape(c)) {
            out.append(static_cast<char>(c - kEscapeBase));
        } else {
            out.append(QString(QChar(c)).toUtf8());
        }
    }
    return out;
}

QByteArray to_absolute_native(const QString& path)
{
    QByteArray bytes = to_native(path);
    if (bytes.startsWith('/'))
        return bytes;
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) == nullptr)
        return bytes;
    return QByteArray(cwd) + '/' + bytes;
}

bool has_raw_bytes(const QString& path)
{
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = path.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n &&
            QChar::isLowSurrogate(path.at(i + 1).unicode())) {
            ++i;
            continue;
        }
        if (is_escape(c))
            return true;
    }
    return false;
}

QString readable(const QString& path)
{
    if (!has_raw_bytes(path))
        return path;
    const QStringList parts = path.split(u'/');
    QStringList shown;
    shown.reserve(parts.size());
    for (const QString& part : parts)
        shown.append(readable_part(part));
    return shown.join(u'/');
}

} // namespace pelmora::native_path
