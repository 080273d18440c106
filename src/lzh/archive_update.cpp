#include "lzh/archive_update.h"

#include "lzh/lzh_header_reader.h"
#include "lzh/member_writer.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <map>

namespace pelmora {
namespace {

bool copyRange(QFile& from, qint64 offset, qint64 size, QIODevice& to)
{
    if (!from.seek(offset))
        return false;
    QByteArray chunk;
    while (size > 0) {
        chunk = from.read(std::min<qint64>(size, 1 << 20));
        if (chunk.isEmpty())
            return false;
        if (to.write(chunk) != chunk.size())
            return false;
        size -= chunk.size();
    }
    return true;
}

UpdateOutcome failure(UnlhaResult r, const QString& detail)
{
    UpdateOutcome o;
    o.result = r;
    o.detail = detail;
    return o;
}

} // namespace

UpdateOutcome updateArchive(const QString& archivePath, const std::vector<SourceFile>& files)
{
    UpdateOutcome outcome;

    QFile existing(archivePath);
    std::vector<ExistingMember> members;
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly))
            return failure(UnlhaResult::ArchiveDamaged, existing.errorString());
        std::string why;
        auto read = readMembers(existing, why);
        if (!read)
            return failure(UnlhaResult::ArchiveDamaged, QString::fromStdString(why));
        members = std::move(*read);
    }

    std::map<std::string, std::size_t> byPath; // stored path -> index in `files`
    for (std::size_t i = 0; i < files.size(); ++i)
        byPath.emplace(files[i].storedPath, i);

    // The target is replaced only by commit(); the destructor removes the
    // temporary file on every early return.
    QSaveFile out(archivePath);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly))
        return failure(UnlhaResult::ArchiveWriteFailed, out.errorString());

    std::vector<bool> written(files.size(), false);
    auto addFile = [&](std::size_t index) -> bool {
        WrittenMember member;
        QString why;
        bool readFailed = false;
        if (!writeMember(out, files[index], member, why, readFailed)) {
            outcome = failure(readFailed ? UnlhaResult::SourceUnreadable
                                         : UnlhaResult::ArchiveWriteFailed,
                              files[index].path + QStringLiteral(": ") + why);
            return false;
        }
        written[index] = true;
        return true;
    };

    for (const ExistingMember& m : members) {
        const auto hit = byPath.find(m.path);
        if (hit == byPath.end()) {
            if (!copyRange(existing, static_cast<qint64>(m.offset), static_cast<qint64>(m.spanSize),
                           out))
                return failure(UnlhaResult::ArchiveWriteFailed, out.errorString());
            ++outcome.kept;
        } else if (!written[hit->second]) {
            // Replaced in place, so members keep their order.
            if (!addFile(hit->second))
                return outcome;
            ++outcome.replaced;
        }
        // A second old member of the same path is dropped: the new file replaces both.
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (written[i])
            continue;
        if (!addFile(i))
            return outcome;
        ++outcome.added;
    }

    const char endMark = 0;
    if (out.write(&endMark, 1) != 1 || !out.commit())
        return failure(UnlhaResult::ArchiveWriteFailed, out.errorString());
    return outcome;
}

} // namespace pelmora
