// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/filter_key.h"

#include "base/native_path.h"

#include <QStringList>
#include <algorithm>

namespace pelmora {
namespace {

constexpr char16_t kHiraganaFirst = 0x3041;     // ぁ
constexpr char16_t kHiraganaLast = 0x3096;      // ゖ
constexpr char16_t kHiraganaIteration = 0x309D; // ゝ, then ゞ
constexpr char16_t kToKatakana = 0x60;

bool is_ascii(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string ascii_key(std::string_view bytes)
{
    std::string key(bytes);
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return key;
}

} // namespace

std::string filter_key(const QString& text)
{
    QString folded = text.normalized(QString::NormalizationForm_KC).toCaseFolded();
    for (QChar& c : folded) {
        const char16_t u = c.unicode();
        if ((u >= kHiraganaFirst && u <= kHiraganaLast) || u == kHiraganaIteration ||
            u == kHiraganaIteration + 1)
            c = QChar(char16_t(u + kToKatakana));
    }
    return folded.toStdString();
}

std::string filter_key_of_bytes(std::string_view bytes)
{
    if (is_ascii(bytes))
        return ascii_key(bytes);
    QString text = native_path::from_native(bytes);
    if (native_path::has_raw_bytes(text))
        text = native_path::readable(text);
    return filter_key(text);
}

std::vector<std::string> filter_words(const QString& text)
{
    // The compatibility form makes the ideographic space a plain one.
    QString folded = QString::fromStdString(filter_key(text));
    for (QChar& c : folded) {
        if (c.isSpace())
            c = QLatin1Char(' ');
    }
    std::vector<std::string> words;
    for (const QString& w : folded.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        words.push_back(w.toStdString());
    return words;
}

} // namespace pelmora
