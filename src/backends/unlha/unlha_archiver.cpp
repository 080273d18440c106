// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/unlha/unlha_archiver.h"

#include "lzh/unlha.h"

#include <array>
#include <cstring>

namespace pelmora {

int UnlhaArchiver::run(const QByteArray& commandLine, QByteArray& report)
{
    std::array<char, 1024> output{};
    const int code = Unlha(0, commandLine.constData(), output.data(), std::uint32_t(output.size()));
    report = QByteArray(output.data(), qsizetype(::strnlen(output.data(), output.size())));
    return code;
}

} // namespace pelmora
