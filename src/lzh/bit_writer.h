// SPDX-License-Identifier: GPL-3.0-or-later
// Bit-level output for the -lh5- block writer.
#pragma once

#include <cstdint>
#include <vector>

namespace pelmora {

// Appends bit fields most significant bit first, the order every LHA decoder
// reads them in.
class BitWriter final
{
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    // Writes the low `count` bits of `bits` (count <= 32).
    void put(unsigned count, std::uint32_t bits)
    {
        if (count == 0)
            return;
        acc_ = (acc_ << count) | (bits & ((std::uint64_t{1} << count) - 1));
        used_ += count;
        while (used_ >= 8) {
            used_ -= 8;
            out_.push_back(static_cast<std::uint8_t>(acc_ >> used_));
        }
    }

    // Pads the last byte with zero bits.
    void flush()
    {
        if (used_ > 0)
            out_.push_back(static_cast<std::uint8_t>(acc_ << (8 - used_)));
        used_ = 0;
        acc_ = 0;
    }

    std::size_t bytes_written() const { return out_.size(); }
    std::uint64_t bits_written() const { return out_.size() * std::uint64_t{8} + used_; }

private:
    std::vector<std::uint8_t>& out_;
    std::uint64_t acc_ = 0;
    unsigned used_ = 0;
};

} // namespace pelmora
