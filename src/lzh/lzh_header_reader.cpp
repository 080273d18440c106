// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/lzh_header_reader.h"

#include "lzh/crc16.h"
#include "lzh/lzh_format.h"
#include "lzh/member_name.h"

#include <QIODevice>

namespace pelmora {
namespace {

using namespace lzh;

// Folder names in the directory extended header are separated by 0xFF; '\\'
// is left alone here, since it can be the second byte of a Shift_JIS letter.
std::string joinedPath(const std::string& dir, const std::string& name)
{
    std::string path = dir;
    for (char& c : path)
        if (static_cast<std::uint8_t>(c) == kDirSeparator)
            c = '/';
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path + name;
}

void finishNames(ExistingMember& m, const std::string& dir, const std::string& name)
{
    m.storedPath = joinedPath(dir, name);
    m.path = member_name_text(m.storedPath, m.codePage, m.os).toStdString();
}

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
                 std::string& name, std::string& dir, std::optional<std::uint32_t>& codePage,
                 std::optional<std::size_t>& headerCrcAt);

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

void takeNamePart(const std::uint8_t* e, std::size_t dataSize, std::string& name, std::string& dir,
                  std::optional<std::uint32_t>& codePage)
{
    const char* data = reinterpret_cast<const char*>(e + 1);
    if (e[0] == kExtFileName)
        name.assign(data, dataSize);
    else if (e[0] == kExtDirectory)
        dir.assign(data, dataSize);
    else if (e[0] == kExtCodePage && dataSize >= 4)
        codePage = get32(e + 1);
}

bool MemberScanner::walkExt(const std::uint8_t* ext, std::size_t avail, std::uint16_t size,
                            std::string& name, std::string& dir,
                            std::optional<std::uint32_t>& codePage,
                            std::optional<std::size_t>& headerCrcAt)
{
    std::size_t at = 0;
    while (size != 0) {
        if (size < 3 || at + size > avail)
            return fail("拡張ヘッダーがヘッダーをはみ出しています");
        const std::uint8_t* e = ext + at;
        takeNamePart(e, size - 3u, name, dir, codePage);
        if (e[0] == kExtHeaderCrc && size >= 5)
            headerCrcAt = at + 1;
        at += size;
        size = get16(ext + at - 2);
    }
    // Readers disagree on anything left over, so only a single pad byte may be.
    if (at + 1 < avail)
        return fail("拡張ヘッダーがヘッダーの終わりに届いていません");
    return true;
}

bool MemberScanner::scanLevel01(std::uint64_t at, ExistingMember& m)
{
    std::vector<std::uint8_t> h;
    if (!readAt(at, 1, h))
        return fail("ヘッダーが途中で切れています");
    const std::size_t hsize = h[0] + 2u;
    if (hsize < 24 || !readAt(at, hsize, h))
        return fail("ヘッダーが途中で切れています");
    std::uint8_t sum = 0;
    for (std::size_t i = 2; i < hsize; ++i)
        sum = static_cast<std::uint8_t>(sum + h[i]);
    if (sum != h[1])
        return fail("ヘッダーのチェックサムが一致しません");
    m.level = h[20];
    m.method.assign(reinterpret_cast<const char*>(&h[2]), 5);
    m.packedSize = get32(&h[7]);
    m.originalSize = get32(&h[11]);
    const std::size_t nameLen = h[21];
    if (22 + nameLen > hsize)
        return fail("ファイル名がヘッダーをはみ出しています");
    std::string name(reinterpret_cast<const char*>(&h[22]), nameLen);
    std::string dir;
    std::uint64_t extTotal = 0;
    if (m.level == 1 && 22 + nameLen + 3 <= hsize)
        m.os = h[22 + nameLen + 2];
    if (m.level == 1) {
        // Level 1 keeps its extended headers after the base header and counts
        // them in the packed size.
        if (hsize < 22 + nameLen + 5)
            return fail("レベル 1 ヘッダーが短すぎます");
        std::uint16_t next = get16(&h[hsize - 2]);
        std::uint64_t extAt = at + hsize;
        std::vector<std::uint8_t> e;
        while (next != 0) {
            if (next < 3 || extTotal + next > m.packedSize || !readAt(extAt, next, e))
                return fail("拡張ヘッダーがメンバーをはみ出しています");
            takeNamePart(e.data(), next - 3u, name, dir, m.codePage);
            extAt += next;
            extTotal += next;
            next = get16(&e[next - 2]);
        }
    }
    finishNames(m, dir, name);
    m.spanSize = hsize + std::uint64_t{m.packedSize};
    m.dataSize = m.level == 1 ? m.packedSize - static_cast<std::uint32_t>(extTotal) : m.packedSize;
    return true;
}

bool MemberScanner::scanLevel2(std::uint64_t at, ExistingMember& m)
{
    std::vector<std::uint8_t> h;
    if (!readAt(at, 26, h))
        return fail("ヘッダーが途中で切れています");
    const std::size_t hsize = get16(&h[0]);
    if (hsize < 26 || !readAt(at, hsize, h))
        return fail("ヘッダーが途中で切れています");
    m.level = 2;
    m.method.assign(reinterpret_cast<const char*>(&h[2]), 5);
    m.packedSize = get32(&h[7]);
    m.originalSize = get32(&h[11]);
    std::string name;
    std::string dir;
    std::optional<std::size_t> crcOffset;
    m.os = h[23];
    if (!walkExt(&h[26], hsize - 26, get16(&h[24]), name, dir, m.codePage, crcOffset))
        return false;
    if (!crcOffset)
        return fail("ヘッダーに CRC がありません");
    {
        const std::size_t crcAt = 26 + *crcOffset;
        const std::uint16_t stored = get16(&h[crcAt]);
        h[crcAt] = 0;
        h[crcAt + 1] = 0;
        if (Crc16::of(h) != stored)
            return fail("ヘッダーの CRC が一致しません");
    }
    finishNames(m, dir, name);
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
        if (!readAt(at, 1, probe)) {
            fail("書庫を読み込めません");
            return std::nullopt;
        }
        if (probe[0] == 0) {
            // The end mark: only the single byte may follow the last member.
            if (at + 1 != size) {
                fail(at == 0 ? "書庫の先頭が 0 です (LZH 書庫ではありません)"
                             : "書庫の終わりの印の後にデータがあります");
                return std::nullopt;
            }
            break;
        }
        if (size - at < 22 || !readAt(at, 22, probe)) {
            fail("ヘッダーが途中で切れています");
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
            fail("対応していないヘッダーレベルです");
        if (!ok)
            return std::nullopt;
        if (m.method.size() != 5 || m.method[0] != '-' || m.method[4] != '-') {
            fail("LZH のメンバーヘッダーではありません");
            return std::nullopt;
        }
        if (m.spanSize > size - at) {
            fail("メンバーのデータが途中で切れています");
            return std::nullopt;
        }
        members.push_back(std::move(m));
        at += members.back().spanSize;
    }
    return members;
}

} // namespace

std::optional<std::vector<ExistingMember>> read_members(QIODevice& archive, std::string& why)
{
    return MemberScanner(archive, why).run();
}

} // namespace pelmora
