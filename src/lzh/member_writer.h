#pragma once

#include "lzh/source_files.h"

#include <QString>

class QIODevice;

namespace pelmora {

struct WrittenMember
{
    bool stored = false; // -lh0-: compression did not shrink it
    std::uint32_t originalSize = 0;
    std::uint32_t packedSize = 0;
};

// Reads one source file, compresses it and appends header and data to `out`.
// Returns false with `why` set when the file cannot be read or `out` written.
bool writeMember(QIODevice& out, const SourceFile& source, WrittenMember& result, QString& why,
                 bool& readFailed);

} // namespace pelmora
