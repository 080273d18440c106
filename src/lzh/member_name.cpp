// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/member_name.h"

#include "lzh/lzh_format.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace pelmora {
namespace {

constexpr const char* kCp932Name = "windows-31j";

QByteArrayView view(const std::string& s)
{
    return QByteArrayView(s.data(), static_cast<qsizetype>(s.size()));
}

std::optional<QString> decodeStrict(QStringDecoder::Encoding e, const std::string& bytes)
{
    QStringDecoder d(e, QStringDecoder::Flag::Stateless);
    QString s = d(view(bytes));
    if (d.hasError())
        return std::nullopt;
    return s;
}

// CP932 text, only when the bytes are CP932 and come back the same.
std::optional<QString> decodeCp932(const std::string& bytes)
{
    QStringDecoder d(kCp932Name, QStringDecoder::Flag::Stateless);
    QStringEncoder e(kCp932Name, QStringEncoder::Flag::Stateless);
    if (!d.isValid() || !e.isValid())
        return std::nullopt;
    QString s = d(view(bytes));
    if (d.hasError())
        return std::nullopt;
    const QByteArray back = e(s);
    if (e.hasError() || back != view(bytes))
        return std::nullopt;
    return s;
}

// UTF-8 with every byte that is not part of a valid sequence kept as
// U+DC00 + byte.
QString decodeKeepingBytes(const std::string& bytes)
{
    QString out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t j = i;
        // Longest valid UTF-8 prefix from i.
        while (j < bytes.size()) {
            const auto b = static_cast<std::uint8_t>(bytes[j]);
            std::size_t len = b < 0x80         ? 1
                              : (b >> 5) == 6  ? 2
                              : (b >> 4) == 14 ? 3
                              : (b >> 3) == 30 ? 4
                                               : 0;
            if (len == 0 || j + len > bytes.size())
                break;
            const std::string seq = bytes.substr(j, len);
            if (len > 1 && !decodeStrict(QStringDecoder::Utf8, seq))
                break;
            j += len;
        }
        out += QString::fromUtf8(bytes.data() + i, static_cast<qsizetype>(j - i));
        if (j < bytes.size()) {
            out += QChar(0xDC00 + static_cast<std::uint8_t>(bytes[j]));
            ++j;
        }
        i = j;
    }
    return out;
}

QString normalised(QString s)
{
    s.replace(u'\\', u'/');
    qsizetype first = 0;
    while (first < s.size() && s[first] == u'/')
        ++first;
    return s.mid(first);
}

} // namespace

EncodedName encode_member_name(const std::string& nativePath)
{
    if (decodeStrict(QStringDecoder::Utf8, nativePath))
        return {nativePath, lzh::kCodePageUtf8};
    if (decodeCp932(nativePath))
        return {nativePath, lzh::kCodePageCp932};
    return {nativePath, 0};
}

QString member_name_text(const std::string& stored, std::optional<std::uint32_t> codePage,
                         std::uint8_t os)
{
    // The declared code page first; without one, names from systems other
    // than Unix are Shift_JIS (CP932) by custom.
    const bool cp932First = codePage == lzh::kCodePageCp932 || (!codePage && os != lzh::kOsUnix);
    std::optional<QString> text;
    if (cp932First)
        text = decodeCp932(stored);
    else if (codePage == lzh::kCodePageUtf8)
        text = decodeStrict(QStringDecoder::Utf8, stored);
    if (!text)
        text = decodeStrict(QStringDecoder::Utf8, stored);
    if (!text)
        text = decodeCp932(stored);
    return normalised(text ? *text : decodeKeepingBytes(stored));
}

QString native_name_text(const std::string& nativePath)
{
    return member_name_text(nativePath, std::nullopt, lzh::kOsUnix);
}

} // namespace pelmora
