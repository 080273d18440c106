#include "lzh/archive_update.h"

#include "lzh/lzh_header_reader.h"
#include "lzh/member_name.h"
#include "lzh/member_writer.h"
#include "lzh/output_file.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {
namespace {

UpdateOutcome failure(UnlhaResult r, const QString& detail)
{
    UpdateOutcome o;
    o.result = r;
    o.detail = detail;
    return o;
}

QString readable(const QByteArray& path)
{
    return nativeNameText(path.toStdString()).prepend(path.startsWith('/') ? u"/" : u"");
}

bool copyRange(QFile& from, std::uint64_t offset, std::uint64_t size, OutputFile& to)
{
    if (!from.seek(static_cast<qint64>(offset)))
        return false;
    QByteArray chunk;
    while (size > 0) {
        chunk = from.read(static_cast<qint64>(std::min<std::uint64_t>(size, 1 << 20)));
        if (chunk.isEmpty())
            return false;
        if (!to.write(chunk))
            return false;
        size -= static_cast<std::uint64_t>(chunk.size());
    }
    return true;
}

} // namespace

UpdateOutcome updateArchive(const QByteArray& archivePath, const std::vector<SourceFile>& files)
{
    UpdateOutcome outcome;

    struct stat existingStat
    {};
    const bool exists = ::stat(archivePath.constData(), &existingStat) == 0;
    QFile existing;
    std::vector<ExistingMember> members;
    if (exists) {
        if (!S_ISREG(existingStat.st_mode))
            return failure(UnlhaResult::ArchiveDamaged,
                           QStringLiteral("通常のファイルではありません: ") +
                               readable(archivePath));
        const int fd = ::open(archivePath.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || !existing.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            if (fd >= 0)
                ::close(fd);
            return failure(UnlhaResult::ArchiveDamaged,
                           QStringLiteral("書庫を開けません: ") + readable(archivePath));
        }
        std::string why;
        auto read = readMembers(existing, why);
        if (!read)
            return failure(UnlhaResult::ArchiveDamaged, QString::fromStdString(why) +
                                                            QStringLiteral(": ") +
                                                            readable(archivePath));
        members = std::move(*read);
    }

    std::map<QString, std::size_t> byName; // name as text -> index in `files`
    for (std::size_t i = 0; i < files.size(); ++i)
        byName.emplace(nativeNameText(files[i].storedPath), i);

    // The target is replaced only by commit(); the destructor removes the
    // temporary file on every early return.
    OutputFile out;
    auto writeFailure = [&]() {
        return failure(UnlhaResult::ArchiveWriteFailed, OutputFile::describe(out.error()) +
                                                            QStringLiteral(": ") +
                                                            readable(archivePath));
    };
    if (!out.create(archivePath))
        return writeFailure();

    std::vector<bool> written(files.size(), false);
    // Whether the member written last holds its bytes as they are (-lh0-).
    bool lastStored = false;
    auto addFile = [&](std::size_t index) -> bool {
        WrittenMember member;
        QString why;
        switch (writeMember(out, files[index], member, why)) {
        case MemberFailure::None:
            written[index] = true;
            lastStored = member.stored;
            return true;
        case MemberFailure::WriteFailed:
            outcome = writeFailure();
            return false;
        case MemberFailure::ReadFailed:
            outcome = failure(UnlhaResult::SourceUnreadable,
                              readable(files[index].path) + QStringLiteral(": ") + why);
            return false;
        case MemberFailure::TooLarge:
            outcome = failure(UnlhaResult::SourceTooLarge,
                              readable(files[index].path) + QStringLiteral(": ") + why);
            return false;
        }
        return false;
    };

    for (const ExistingMember& m : members) {
        const auto hit = byName.find(QString::fromStdString(m.path));
        if (hit == byName.end()) {
            if (!copyRange(existing, m.offset, m.spanSize, out))
                return out.error() != 0 ? writeFailure()
                                        : failure(UnlhaResult::ArchiveDamaged,
                                                  QStringLiteral("書庫を読み込めません: ") +
                                                      readable(archivePath));
            lastStored = m.method == "-lh0-";
            ++outcome.kept;
        } else if (!written[hit->second]) {
            // Replaced in place, so members keep their order.
            if (!addFile(hit->second))
                return outcome;
            ++outcome.replaced;
        }
        // A second old member of the same name is dropped: the new file replaces both.
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (written[i])
            continue;
        if (!addFile(i))
            return outcome;
        ++outcome.added;
    }

    // The end mark (a 0 byte) is needed only behind compressed data: bsdtar's
    // decoder reads one byte past the member and calls the archive truncated
    // without it, while every reader ends cleanly at the end of the file
    // after a stored member.
    if (!lastStored && !out.write(QByteArray(1, '\0')))
        return writeFailure();
    if (!out.commit(exists ? &existingStat : nullptr))
        return writeFailure();
    return outcome;
}

} // namespace pelmora
