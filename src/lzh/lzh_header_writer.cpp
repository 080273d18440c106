// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/lzh_header_writer.h"

#include "lzh/crc16.h"
#include "lzh/lzh_format.h"

#include <algorithm>
#include <optional>

namespace pelmora {
namespace {

using namespace lzh;

void put16(std::vector<std::uint8_t>& b, std::uint16_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t>& b, std::uint32_t v)
{
    put16(b, static_cast<std::uint16_t>(v));
    put16(b, static_cast<std::uint16_t>(v >> 16));
}

// An extended header: its size field (counting the type byte, the data and
// the size field of the next one) is written by the one before it.
void putExt(std::vector<std::uint8_t>& b, std::uint8_t type, const std::vector<std::uint8_t>& data)
{
    b.push_back(type);
    b.insert(b.end(), data.begin(), data.end());
    put16(b, static_cast<std::uint16_t>(0)); // patched by the next header
}

} // namespace

std::vector<std::uint8_t> write_level2_header(const NewMemberHeader& m)
{
    const auto slash = m.path.rfind('/');
    const std::string name = slash == std::string::npos ? m.path : m.path.substr(slash + 1);
    std::string dir = slash == std::string::npos ? std::string{} : m.path.substr(0, slash + 1);
    std::replace(dir.begin(), dir.end(), '/', static_cast<char>(kDirSeparator));

    std::vector<std::uint8_t> h;
    h.reserve(64 + m.path.size());
    put16(h, 0); // total size, set below
    h.insert(h.end(), m.method.begin(), m.method.end());
    put32(h, m.packedSize);
    put32(h, m.originalSize);
    put32(h, m.mtime);
    h.push_back(0x20); // DOS "archive" attribute
    h.push_back(2);    // header level
    put16(h, m.dataCrc);
    h.push_back(m.os);

    struct Ext
    {
        std::uint8_t type;
        std::vector<std::uint8_t> data;
    };
    std::vector<Ext> exts;
    if (m.headerCrc)
        exts.push_back({kExtHeaderCrc, {0, 0}});
    exts.push_back({kExtFileName, {name.begin(), name.end()}});
    if (!dir.empty())
        exts.push_back({kExtDirectory, {dir.begin(), dir.end()}});
    const bool ascii = std::all_of(m.path.begin(), m.path.end(),
                                   [](char c) { return static_cast<std::uint8_t>(c) < 0x80; });
    if (!ascii && m.codePage != 0) {
        exts.push_back({kExtCodePage, {}});
        put32(exts.back().data, m.codePage);
    }
    // Always written: lhasa gives a member without permission bits 0600.
    exts.push_back({kExtUnixMode, {}});
    put16(exts.back().data, m.unixMode.value_or(0100644));
    // A header size that is a multiple of 256 has a first byte of 0, which
    // reads as the end of the archive; a DOS attribute header moves it on.
    std::size_t total = 26;
    for (const Ext& e : exts)
        total += e.data.size() + 3;
    if ((total & 0xFF) == 0)
        exts.push_back({kExtDosAttribute, {0x20, 0}});

    put16(h, static_cast<std::uint16_t>(exts.front().data.size() + 3));
    std::optional<std::size_t> crcAt;
    for (std::size_t i = 0; i < exts.size(); ++i) {
        if (exts[i].type == kExtHeaderCrc)
            crcAt = h.size() + 1;
        putExt(h, exts[i].type, exts[i].data);
        const std::uint16_t next =
            i + 1 < exts.size() ? static_cast<std::uint16_t>(exts[i + 1].data.size() + 3) : 0;
        h[h.size() - 2] = static_cast<std::uint8_t>(next);
        h[h.size() - 1] = static_cast<std::uint8_t>(next >> 8);
    }
    h[0] = static_cast<std::uint8_t>(h.size());
    h[1] = static_cast<std::uint8_t>(h.size() >> 8);
    if (crcAt) {
        const std::uint16_t crc = Crc16::of(h);
        h[*crcAt] = static_cast<std::uint8_t>(crc);
        h[*crcAt + 1] = static_cast<std::uint8_t>(crc >> 8);
    }
    return h;
}

} // namespace pelmora
