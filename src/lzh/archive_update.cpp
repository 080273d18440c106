// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/archive_update.h"

#include "lzh/at_path.h"
#include "lzh/lzh_header_reader.h"
#include "lzh/member_name.h"
#include "lzh/member_pool.h"
#include "lzh/member_writer.h"
#include "lzh/output_file.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <thread>
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
    return native_name_text(path.toStdString()).prepend(path.startsWith('/') ? u"/" : u"");
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

constexpr std::size_t kNoJob = static_cast<std::size_t>(-1);
// Members up to this size are compressed by the pool, in memory; larger ones
// by the writing thread, straight into the archive, when their turn comes.
constexpr std::uint64_t kPooledMemberLimit = std::uint64_t{8} << 20;

// One member of the new archive: an old one copied as it is, or a file.
struct Step
{
    const ExistingMember* copy = nullptr;
    std::size_t file = 0;     // index in the files, when not a copy
    bool replaces = false;    // the file takes an old member's place
    std::size_t job = kNoJob; // in the pool, when the pool compresses the file
};

// Hands the files of `steps` that are small enough to a pool of worker
// threads and notes their job numbers in the steps; nothing when there is
// only one thread or only one file to compress.
std::optional<MemberPool> startPool(std::vector<Step>& steps, const std::vector<SourceFile>& files,
                                    unsigned threads)
{
    const auto adds =
        std::count_if(steps.begin(), steps.end(), [](const Step& s) { return s.copy == nullptr; });
    if (threads < 2 || adds < 2)
        return std::nullopt;
    std::vector<SourceFile> jobs;
    std::vector<std::uint64_t> sizes;
    for (Step& step : steps) {
        if (step.copy != nullptr)
            continue;
        struct stat st
        {};
        const std::uint64_t size = stat_at_path(files[step.file].path, st) && st.st_size > 0
                                       ? static_cast<std::uint64_t>(st.st_size)
                                       : 0;
        if (size > kPooledMemberLimit)
            continue;
        step.job = jobs.size();
        jobs.push_back(files[step.file]);
        sizes.push_back(size);
    }
    if (jobs.empty())
        return std::nullopt;
    return std::optional<MemberPool>(std::in_place, std::move(jobs), std::move(sizes), threads);
}

// Writes the whole new archive into out: the members of the existing archive (when given)
// copied or replaced, then the new files, then the end mark.
UpdateOutcome writeArchive(QFile* existing, OutputFile& out, const QByteArray& archivePath,
                           const std::vector<SourceFile>& files, unsigned threads)
{
    UpdateOutcome outcome;
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());

    std::vector<ExistingMember> members;
    if (existing) {
        std::string why;
        auto read = read_members(*existing, why);
        if (!read)
            return failure(UnlhaResult::ArchiveDamaged, QString::fromStdString(why) +
                                                            QStringLiteral(": ") +
                                                            readable(archivePath));
        members = std::move(*read);
    }

    std::map<QString, std::size_t> byName; // name as text -> index in `files`
    for (std::size_t i = 0; i < files.size(); ++i)
        byName.emplace(native_name_text(files[i].storedPath), i);

    // The archive's members in order: old ones copied, or replaced in place
    // (so members keep their order), then the new files. A second old member
    // of the same name is dropped: the new file replaces both.
    std::vector<Step> steps;
    std::vector<bool> planned(files.size(), false);
    for (const ExistingMember& m : members) {
        const auto hit = byName.find(QString::fromStdString(m.path));
        if (hit == byName.end()) {
            steps.push_back({&m});
        } else if (!planned[hit->second]) {
            planned[hit->second] = true;
            steps.push_back({nullptr, hit->second, true});
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!planned[i])
            steps.push_back({nullptr, i, false});

    auto writeFailure = [&]() {
        return failure(UnlhaResult::ArchiveWriteFailed, OutputFile::describe(out.error()) +
                                                            QStringLiteral(": ") +
                                                            readable(archivePath));
    };
    std::optional<MemberPool> pool = startPool(steps, files, threads);

    auto addFile = [&](const Step& step) -> bool {
        WrittenMember member;
        QString why;
        MemberFailure result = MemberFailure::None;
        if (step.job != kNoJob) {
            MemberPool::Compressed done = pool->take(step.job);
            result = done.failure;
            member = done.member;
            why = done.why;
            if (result == MemberFailure::None && !out.write(done.bytes))
                result = MemberFailure::WriteFailed;
        } else {
            result = write_member(out, files[step.file], member, why, threads);
        }
        switch (result) {
        case MemberFailure::None:
            return true;
        case MemberFailure::WriteFailed:
            outcome = writeFailure();
            return false;
        case MemberFailure::ReadFailed:
            outcome = failure(UnlhaResult::SourceUnreadable,
                              readable(files[step.file].path) + QStringLiteral(": ") + why);
            return false;
        case MemberFailure::TooLarge:
            outcome = failure(UnlhaResult::SourceTooLarge,
                              readable(files[step.file].path) + QStringLiteral(": ") + why);
            return false;
        }
        return false;
    };

    for (const Step& step : steps) {
        if (step.copy != nullptr) {
            const ExistingMember& m = *step.copy;
            if (!copyRange(*existing, m.offset, m.spanSize, out))
                return out.error() != 0 ? writeFailure()
                                        : failure(UnlhaResult::ArchiveDamaged,
                                                  QStringLiteral("書庫を読み込めません: ") +
                                                      readable(archivePath));
            ++outcome.kept;
            continue;
        }
        if (!addFile(step))
            return outcome;
        ++(step.replaces ? outcome.replaced : outcome.added);
    }

    // Every archive ends with the end mark (a 0 byte): bsdtar needs it behind
    // compressed data, and readers we cannot test (Windows tools) may expect it
    // after any member.
    if (!out.write(QByteArray(1, '\0')))
        return writeFailure();
    return outcome;
}

// The file a name that is a symbolic link leads to, so that the link stays and its target
// is updated; the name itself otherwise.
QByteArray followedTarget(const QByteArray& path)
{
    struct stat st
    {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char* resolved = ::realpath(path.constData(), nullptr);
    if (resolved == nullptr)
        return path;
    QByteArray target(resolved);
    std::free(resolved);
    return target;
}

} // namespace

UpdateOutcome update_archive(const QByteArray& archivePath, const std::vector<SourceFile>& files,
                             unsigned threads)
{
    const QByteArray target = followedTarget(archivePath);
    struct stat existingStat
    {};
    const bool exists = ::stat(target.constData(), &existingStat) == 0;
    QFile existing;
    if (exists) {
        if (!S_ISREG(existingStat.st_mode))
            return failure(UnlhaResult::ArchiveDamaged,
                           QStringLiteral("通常のファイルではありません: ") +
                               readable(archivePath));
        const int fd = ::open(target.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || !existing.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            if (fd >= 0)
                ::close(fd);
            return failure(UnlhaResult::ArchiveDamaged,
                           QStringLiteral("書庫を開けません: ") + readable(archivePath));
        }
    }
    // The target is replaced only by commit(); the destructor removes the
    // temporary file on every early return.
    OutputFile out;
    if (!out.create(target))
        return failure(UnlhaResult::ArchiveWriteFailed, OutputFile::describe(out.error()) +
                                                            QStringLiteral(": ") +
                                                            readable(archivePath));
    UpdateOutcome outcome =
        writeArchive(exists ? &existing : nullptr, out, archivePath, files, threads);
    if (outcome.result == UnlhaResult::Ok && !out.commit(exists ? &existingStat : nullptr))
        return failure(UnlhaResult::ArchiveWriteFailed, OutputFile::describe(out.error()) +
                                                            QStringLiteral(": ") +
                                                            readable(archivePath));
    return outcome;
}

UpdateOutcome update_archive_into(int from, int into, const QByteArray& archivePath,
                                  const std::vector<SourceFile>& files, unsigned threads)
{
    QFile existing;
    if (from >= 0 && !existing.open(from, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return failure(UnlhaResult::ArchiveDamaged,
                       QStringLiteral("書庫を開けません: ") + readable(archivePath));
    if (from >= 0 && !existing.seek(0))
        return failure(UnlhaResult::ArchiveDamaged,
                       QStringLiteral("書庫を読み込めません: ") + readable(archivePath));
    OutputFile out;
    out.attach(into);
    return writeArchive(from >= 0 ? &existing : nullptr, out, archivePath, files, threads);
}

bool verify_archive(int fd)
{
    QFile archive;
    if (!archive.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle) || !archive.seek(0))
        return false;
    std::string why;
    const auto members = read_members(archive, why);
    return members && !members->empty();
}

} // namespace pelmora
