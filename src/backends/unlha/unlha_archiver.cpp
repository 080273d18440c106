// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/unlha/unlha_archiver.h"

#include "lzh/archive_update.h"
#include "lzh/unlha.h"

#include <array>
#include <cstring>

namespace pelmora {

int UnlhaArchiver::run_into(const QByteArray& commandLine, int from, int into, QByteArray& report)
{
    std::array<char, 1024> output{};
    const int code =
        UnlhaInto(commandLine.constData(), from, into, output.data(), std::uint32_t(output.size()));
    report = QByteArray(output.data(), qsizetype(::strnlen(output.data(), output.size())));
    return code;
}

bool UnlhaArchiver::verify(int fd)
{
    return verify_archive(fd);
}

} // namespace pelmora
