#include "platform/archiver/lzh_header.h"

#include "platform/archiver/crc16.h"

#include <QIODevice>
#include <algorithm>

namespace pelmora {
namespace {

constexpr std::uint8_t kOsUnix = 'U';
constexpr std::uint8_t kExtHeaderCrc = 0x00;
constexpr std::uint8_t kExtFileName = 0x01;
constexpr std::uint8_t kExtDirectory = 0x02;
constexpr std::uint8_t kExtCodePage = 0x46;
constexpr std::uint8_t kExtUnixMode = 0x50;
constexpr std::uint32_t kCodePageUtf8 = 65001;
constexpr std::uint8_t kDirSeparator = 0xFF;

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

std::uint16_t get16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t get32(const std::uint8_t* p)
{
    return get16(p) | (static_cast<std::uint32_t>(get16(p + 2)) << 16);
}

// An extended header: its size field (counting the type byte, the data and
// the size field of the next one) is written by the one before it.
void putExt(std::vector<std::uint8_t>& b, std::uint8_t type, const std::vector<std::uint8_t>& data)
{
    b.push_back(type);
    b.insert(b.end(), data.begin(), data.end());
    put16(b, static_cast<std::uint16_t>(0)); // patched by the next header
}

std::string normalisedPath(std::string path)
{
    for (char& c : path)
        if (static_cast<std::uint8_t>(c) == kDirSeparator || c == '\\')
            c = '/';
    const auto first = path.find_first_not_of('/');
    return first == std::string::npos ? std::string{} : path.substr(first);
}

} // namespace

std::vector<std::uint8_t> writeLevel2Header(const NewMemberHeader& m)
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
    h.push_back(kOsUnix);

    struct Ext
    {
        std::uint8_t type;
        std::vector<std::uint8_t> data;
    };
    std::vector<Ext> exts;
    exts.push_back({kExtHeaderCrc, {0, 0}});
    exts.push_back({kExtFileName, {name.begin(), name.end()}});
    if (!dir.empty())
        exts.push_back({kExtDirectory, {dir.begin(), dir.end()}});
    exts.push_back({kExtCodePage, {}});
    put32(exts.back().data, kCodePageUtf8);
    if (m.unixMode) {
        exts.push_back({kExtUnixMode, {}});
        put16(exts.back().data, *m.unixMode);
    }

    put16(h, static_cast<std::uint16_t>(exts.front().data.size() + 3));
    std::size_t crcAt = 0;
    for (std::size_t i = 0; i < exts.size(); ++i) {
        if (exts[i].type == kExtHeaderCrc)
            crcAt = h.size() + 1;
        putExt(h, exts[i].type, exts[i].data);
        const std::uint16_t next =
            i + 1 < exts.size() ? static_cast<std::uint16_t>(exts[i + 1].data.size() + 3) : 0;
        h[h.size() - 2] = static_cast<std::uint8_t>(next);
        h[h.size() - 1] = static_cast<std::uint8_t>(next >> 8);
    }
    // A first byte of 0 reads as the end of the archive; pad past it.
    if ((h.size() & 0xFF) == 0)
        h.push_back(0);
    h[0] = static_cast<std::uint8_t>(h.size());
    h[1] = static_cast<std::uint8_t>(h.size() >> 8);
    const std::uint16_t crc = Crc16::of(h);
    h[crcAt] = static_cast<std::uint8_t>(crc);
    h[crcAt + 1] = static_cast<std::uint8_t>(crc >> 8);
    return h;
}

namespace {

class MemberScanner final
{
public:
    MemberScanner(QIODevice& dev, std::string& why) : dev_(dev), why_(why) {}

    std::optional<std::vector<ExistingMember>> run();

private:
    bool readAt(std::uint64_t offset, std::size_t size, std::vector<std::uint8_t>& out);
    bool fail(const char* what)
    {
        why_ = what;
        return false;
    }
    bool scanLevel01(std::uint64_t at, ExistingMember& m);
    bool scanLevel2(std::uint64_t at, ExistingMember& m);
    // Walks the chain of extended headers inside a level-2 header, picking up
    // the name parts and where the header CRC sits.
    bool walkExt(const std::uint8_t* ext, std::size_t avail, std::uint16_t firstSize,
                 std::string& name, std::string& dir, std::optional<std::size_t>& headerCrcAt);

    QIODevice& dev_;
    std::string& why_;
};

bool MemberScanner::readAt(std::uint64_t offset, std::size_t size, std::vector<std::uint8_t>& out)
{
    out.resize(size);
    if (!dev_.seek(static_cast<qint64>(offset)))
        return false;
    return dev_.read(reinterpret_cast<char*>(out.data()), static_cast<qint64>(size)) ==
           static_cast<qint64>(size);
}

void takeNamePart(const std::uint8_t* e, std::size_t dataSize, std::string& name, std::string& dir)
{
    const char* data = reinterpret_cast<const char*>(e + 1);
    if (e[0] == kExtFileName)
        name.assign(data, dataSize);
    else if (e[0] == kExtDirectory)
        dir.assign(data, dataSize);
}

bool MemberScanner::walkExt(const std::uint8_t* ext, std::size_t avail, std::uint16_t size,
                            std::string& name, std::string& dir,
                            std::optional<std::size_t>& headerCrcAt)
{
    std::size_t at = 0;
    while (size != 0) {
        if (size < 3 || at + size > avail)
            return fail("extended header overruns the header");
        const std::uint8_t* e = ext + at;
        takeNamePart(e, size - 3u, name, dir);
        if (e[0] == kExtHeaderCrc && size >= 5)
            headerCrcAt = at + 1;
        at += size;
        size = get16(ext + at - 2);
    }
    return true;
}

bool MemberScanner::scanLevel01(std::uint64_t at, ExistingMember& m)
{
    std::vector<std::uint8_t> h;
    if (!readAt(at, 1, h))
        return fail("truncated header");
    const std::size_t hsize = h[0] + 2u;
    if (hsize < 24 || !readAt(at, hsize, h))
        return fail("truncated header");
    std::uint8_t sum = 0;
    for (std::size_t i = 2; i < hsize; ++i)
        sum = static_cast<std::uint8_t>(sum + h[i]);
    if (sum != h[1])
        return fail("header checksum mismatch");
    m.level = h[20];
    m.method.assign(reinterpret_cast<const char*>(&h[2]), 5);
    m.packedSize = get32(&h[7]);
    m.originalSize = get32(&h[11]);
    const std::size_t nameLen = h[21];
    if (22 + nameLen > hsize)
        return fail("name overruns the header");
    std::string name(reinterpret_cast<const char*>(&h[22]), nameLen);
    std::string dir;
    std::uint64_t extTotal = 0;
    if (m.level == 1) {
        // Level 1 keeps its extended headers after the base header and counts
        // them in the packed size.
        if (hsize < 22 + nameLen + 5)
            return fail("level-1 header too short");
        std::uint16_t next = get16(&h[hsize - 2]);
        std::uint64_t extAt = at + hsize;
        std::vector<std::uint8_t> e;
        while (next != 0) {
            if (next < 3 || extTotal + next > m.packedSize || !readAt(extAt, next, e))
                return fail("extended header overruns the member");
            takeNamePart(e.data(), next - 3u, name, dir);
            extAt += next;
            extTotal += next;
            next = get16(&e[next - 2]);
        }
    }
    m.path = normalisedPath(dir + name);
    m.spanSize = hsize + std::uint64_t{m.packedSize};
    m.dataSize = m.level == 1 ? m.packedSize - static_cast<std::uint32_t>(extTotal) : m.packedSize;
    return true;
}

bool MemberScanner::scanLevel2(std::uint64_t at, ExistingMember& m)
{
    std::vector<std::uint8_t> h;
    if (!readAt(at, 26, h))
        return fail("truncated header");
    const std::size_t hsize = get16(&h[0]);
    if (hsize < 26 || !readAt(at, hsize, h))
        return fail("truncated header");
    m.level = 2;
    m.method.assign(reinterpret_cast<const char*>(&h[2]), 5);
    m.packedSize = get32(&h[7]);
    m.originalSize = get32(&h[11]);
    std::string name;
    std::string dir;
    std::optional<std::size_t> crcOffset;
    if (!walkExt(&h[26], hsize - 26, get16(&h[24]), name, dir, crcOffset))
        return false;
    if (crcOffset) {
        const std::size_t crcAt = 26 + *crcOffset;
        const std::uint16_t stored = get16(&h[crcAt]);
        h[crcAt] = 0;
        h[crcAt + 1] = 0;
        if (Crc16::of(h) != stored)
            return fail("header CRC mismatch");
    }
    m.path = normalisedPath(dir + name);
    m.spanSize = hsize + std::uint64_t{m.packedSize};
    m.dataSize = m.packedSize;
    return true;
}

std::optional<std::vector<ExistingMember>> MemberScanner::run()
{
    std::vector<ExistingMember> members;
    const std::uint64_t size = static_cast<std::uint64_t>(dev_.size());
    std::uint64_t at = 0;
    std::vector<std::uint8_t> probe;
    while (at < size) {
        if (!readAt(at, 1, probe))
            break;
        if (probe[0] == 0)
            break; // end-of-archive mark
        if (size - at < 22 || !readAt(at, 22, probe)) {
            fail("truncated header");
            return std::nullopt;
        }
        ExistingMember m;
        m.offset = at;
        const int level = probe[20];
        bool ok = false;
        if (level == 0 || level == 1)
            ok = scanLevel01(at, m);
        else if (level == 2)
            ok = scanLevel2(at, m);
        else
            fail("unsupported header level");
        if (!ok)
            return std::nullopt;
        if (m.method.size() != 5 || m.method[0] != '-' || m.method[4] != '-') {
            fail("not an LHA member header");
            return std::nullopt;
        }
        if (m.spanSize > size - at) {
            fail("member data is truncated");
            return std::nullopt;
        }
        members.push_back(std::move(m));
        at += members.back().spanSize;
    }
    return members;
}

} // namespace

std::optional<std::vector<ExistingMember>> readMembers(QIODevice& archive, std::string& why)
{
    return MemberScanner(archive, why).run();
}

} // namespace pelmora
