// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/report_buffer.h"

#include <cstring>

namespace pelmora {

void write_report(const QString& text, char* buffer, std::uint32_t size)
{
    if (buffer == nullptr || size == 0)
        return;
    const QByteArray utf8 = text.toUtf8();
    std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(utf8.size()), size - 1);
    // Do not leave half of a multi-byte character at the end.
    while (n > 0 && n < static_cast<std::size_t>(utf8.size()) &&
           (static_cast<unsigned char>(utf8[static_cast<qsizetype>(n)]) & 0xC0) == 0x80)
        --n;
    std::memcpy(buffer, utf8.constData(), n);
    buffer[n] = '\0';
}

} // namespace pelmora
