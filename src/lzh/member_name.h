// SPDX-License-Identifier: GPL-3.0-or-later
// Member names in the bytes and code page they are stored with.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

namespace pelmora {

// A member name as it goes into a header: '/' between folders, and the code
// page it is written in (0 when the bytes are of no known encoding).
struct EncodedName
{
    std::string bytes;
    std::uint32_t codePage = 0;
};

// Names are written in UTF-8 and marked with code page 65001 (plain ASCII
// needs no mark). CP932 was measured as the alternative (bench/lzh_names):
// libarchive follows the code page header either way, but lhasa and 7-Zip
// take the name's bytes as they are, so a CP932 name comes out of them as
// bytes no UTF-8 desktop can show, and 7-Zip also splits it into folders at
// every 0x5C second byte (表, 予, ソ, 能...); jlha reads neither form right
// (CP932 only with its "y" option, and then without the NEC special
// characters). A path that is not UTF-8 on disk is kept byte for byte,
// marked CP932 when it reads as such (files from old Japanese systems).
// `nativePath` is the file system's bytes with '/' between folders.
EncodedName encode_member_name(const std::string& nativePath);

// The text of a stored name for comparing members: decoded by the member's own
// encoding (its code page header, else its OS id: Unix names as UTF-8, others
// as Shift_JIS), both '\' and '/' read as folder separators, no leading '/'.
// Bytes that do not decode are kept as U+DC80..U+DCFF so that distinct names
// stay distinct.
QString member_name_text(const std::string& storedBytes, std::optional<std::uint32_t> codePage,
                         std::uint8_t os);

// The same text for a path on disk (the file system's bytes: UTF-8, or
// Shift_JIS from older systems).
QString native_name_text(const std::string& nativePath);

} // namespace pelmora
