// SPDX-License-Identifier: GPL-3.0-or-later
// Where a member's header and data are written.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

namespace pelmora {

// Where a member's header and data go: straight into the archive being
// written, or into a buffer that a worker thread fills for the archive.
// Offsets count from the start of the output.
class MemberOutput
{
public:
    MemberOutput() = default;
    MemberOutput(const MemberOutput&) = delete;
    MemberOutput& operator=(const MemberOutput&) = delete;
    virtual ~MemberOutput() = default;

    virtual bool write(std::span<const std::uint8_t> bytes) = 0;
    virtual bool write_at(std::uint64_t offset, std::span<const std::uint8_t> bytes) = 0;
    virtual bool truncate(std::uint64_t size) = 0;
    virtual std::uint64_t size() const = 0;
};

// A member held in memory until the archive takes it.
class MemoryOutput final : public MemberOutput
{
public:
    bool write(std::span<const std::uint8_t> bytes) override
    {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        return true;
    }
    bool write_at(std::uint64_t offset, std::span<const std::uint8_t> bytes) override
    {
        if (offset + bytes.size() > m_bytes.size())
            return false;
        std::copy(bytes.begin(), bytes.end(),
                  m_bytes.begin() + static_cast<std::ptrdiff_t>(offset));
        return true;
    }
    bool truncate(std::uint64_t size) override
    {
        m_bytes.resize(static_cast<std::size_t>(size));
        return true;
    }
    std::uint64_t size() const override { return m_bytes.size(); }

    std::vector<std::uint8_t> take() { return std::move(m_bytes); }

private:
    std::vector<std::uint8_t> m_bytes;
};

} // namespace pelmora
