// SPDX-License-Identifier: GPL-3.0-or-later
// Compressing one source file into a member.
#pragma once

#include "lzh/source_files.h"

#include <QString>
#include <cstdint>

namespace pelmora {

class MemberOutput;

struct WrittenMember
{
    bool stored = false; // -lh0-: compression did not shrink it
    std::uint32_t originalSize = 0;
    std::uint32_t packedSize = 0;
};

enum class MemberFailure { None, ReadFailed, WriteFailed, TooLarge };

// Reads one source file through a bounded buffer, compresses it and appends
// header and data to `out`; a file that does not shrink is stored. The bytes
// depend on the file alone, not on where they go. On failure `why` says what
// went wrong (for a write to the archive, OutputFile::error() holds errno).
// A large member is parsed on up to `threads` threads; its bytes stay the same.
MemberFailure write_member(MemberOutput& out, const SourceFile& source, WrittenMember& result,
                           QString& why, unsigned threads = 1);

// True when samples spread over the file (open as `fd`, `size` bytes) all fail
// to shrink: the member is then stored without compressing it all first.
bool looks_incompressible(int fd, std::uint64_t size);

} // namespace pelmora
