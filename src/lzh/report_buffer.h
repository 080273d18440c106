// SPDX-License-Identifier: GPL-3.0-or-later
// Handing a report text back through the caller's buffer.
#pragma once

#include <QString>
#include <cstdint>

namespace pelmora {

// Copies `text` as UTF-8 into a caller's buffer: always NUL-terminated, cut at
// a character boundary when it does not fit, nothing written when size is 0.
void write_report(const QString& text, char* buffer, std::uint32_t size);

} // namespace pelmora
