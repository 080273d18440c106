#pragma once

#include "platform/archiver/bit_writer.h"
#include "platform/archiver/lh5_format.h"

#include <span>

namespace pelmora {

// Writes one lh5 block: the 16-bit symbol count, the three code-length tables
// (the "pt" table that codes the literal/length lengths, the literal/length
// table, the offset table) and then the symbols themselves.
class Lh5BlockWriter final
{
public:
    explicit Lh5BlockWriter(BitWriter& bits) : bits_(bits) {}

    void write(std::span<const lh5::Token> tokens);

private:
    BitWriter& bits_;
};

} // namespace pelmora
