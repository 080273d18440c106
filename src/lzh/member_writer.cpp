#include "lzh/member_writer.h"

#include "lzh/crc16.h"
#include "lzh/lh5_encoder.h"
#include "lzh/lzh_header_writer.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <span>

namespace pelmora {
namespace {

std::uint16_t unixMode(QFileDevice::Permissions p)
{
    std::uint16_t mode = 0100000; // regular file
    const std::pair<QFileDevice::Permission, std::uint16_t> bits[] = {
        {QFileDevice::ReadOwner, 0400}, {QFileDevice::WriteOwner, 0200},
        {QFileDevice::ExeOwner, 0100},  {QFileDevice::ReadGroup, 040},
        {QFileDevice::WriteGroup, 020}, {QFileDevice::ExeGroup, 010},
        {QFileDevice::ReadOther, 04},   {QFileDevice::WriteOther, 02},
        {QFileDevice::ExeOther, 01}};
    for (const auto& [flag, bit] : bits)
        if (p.testFlag(flag))
            mode |= bit;
    return mode;
}

bool writeAll(QIODevice& out, std::span<const std::uint8_t> bytes)
{
    return out.write(reinterpret_cast<const char*>(bytes.data()),
                     static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
}

} // namespace

bool writeMember(QIODevice& out, const SourceFile& source, WrittenMember& result, QString& why,
                 bool& readFailed)
{
    readFailed = false;
    QFile file(source.path);
    if (!file.open(QIODevice::ReadOnly)) {
        readFailed = true;
        why = file.errorString();
        return false;
    }
    // Read, not mapped: a mapped file that another program shortens while we
    // compress it would kill the whole process with SIGBUS.
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        readFailed = true;
        why = file.errorString();
        return false;
    }
    const std::span<const std::uint8_t> data(
        reinterpret_cast<const std::uint8_t*>(bytes.constData()),
        static_cast<std::size_t>(bytes.size()));
    if (data.size() > 0xFFFFFFFFu) {
        readFailed = true;
        why = QStringLiteral("4GB 以上になりました");
        return false;
    }

    const auto packed = Lh5Encoder::compress(data, data.size());
    NewMemberHeader h;
    h.method = packed ? "-lh5-" : "-lh0-";
    h.originalSize = static_cast<std::uint32_t>(data.size());
    h.packedSize = static_cast<std::uint32_t>(packed ? packed->size() : data.size());
    const qint64 mtime = QFileInfo(file).lastModified().toSecsSinceEpoch();
    h.mtime = static_cast<std::uint32_t>(std::clamp<qint64>(mtime, 0, 0xFFFFFFFFll));
    h.dataCrc = Crc16::of(data);
    h.path = source.storedPath;
    h.unixMode = unixMode(file.permissions());

    const std::vector<std::uint8_t> header = writeLevel2Header(h);
    if (!writeAll(out, header) ||
        !writeAll(out, packed ? std::span<const std::uint8_t>(*packed) : data)) {
        why = out.errorString();
        return false;
    }
    result = {!packed, h.originalSize, h.packedSize};
    return true;
}

} // namespace pelmora
