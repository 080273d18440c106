// SPDX-License-Identifier: GPL-3.0-or-later
// The folded form the grid filter compares: a name and a typed word match when the word's
// folded form is part of the name's. Folding takes the compatibility form (full-width and
// half-width Latin letters, digits and katakana become one), folds case, and turns hiragana
// into katakana. The result is UTF-8, so a part of it is always found on whole characters.
#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

std::string filter_key(const QString& text);
// The folded key of a name or folder as the file system stores it (exact bytes), read the
// way the grid shows it.
std::string filter_key_of_bytes(std::string_view bytes);
// The words of a typed filter, folded; spaces (the ideographic one too) separate them.
std::vector<std::string> filter_words(const QString& text);

} // namespace pelmora
