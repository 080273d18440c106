// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/preview/libreoffice_preview_renderer.h"

#include "backends/posix/long_path.h"
#include "backends/posix/posix_io.h"
#include "backends/preview/document_sniffer.h"
#include "backends/preview/folder_cleaner.h"
#include "backends/preview/office_call.h"
#include "backends/preview/office_sandbox.h"
#include "backends/preview/pdf_page.h"
#include "backends/preview/picture_cache.h"
#include "backends/preview/resident_office.h"
#include "base/native_path.h"
#include "base/process_group.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelmora {

namespace {

Q_LOGGING_CATEGORY(lcPreview, "pelmora.preview", QtInfoMsg)

// Page 1 of a table never needs more than the first few thousand lines of a text export.
constexpr qint64 kTextImportBytes = 256 * 1024;
// Every page of one is read up to this much.
constexpr qint64 kWholeTextImportBytes = 16 * 1024 * 1024;
// How often a starting office is looked at before the next one is started.
constexpr std::chrono::milliseconds kStagePoll{100};

PreviewResult failure(PreviewError error, QString message)
{
    PreviewResult result;
    result.error = error;
    result.message = std::move(message);
    return result;
}

const QString kDamaged = QStringLiteral("ファイルが壊れているため表示できません");

// Draws on a worker thread while this thread's event loop keeps running.
DrawnPage draw_off_thread(const QByteArray& pdf, const PictureKey& key,
                          QEventLoop::ProcessEventsFlags flags)
{
    DrawnPage page;
    QEventLoop loop;
    std::unique_ptr<QThread> worker(QThread::create(
        [&page, &pdf, &key] { page = draw_page(pdf, key.page, key.width, key.crop); }));
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    worker->start();
    loop.exec(flags);
    worker->wait();
    return page;
}

bool read_prefix(int fd, qint64 limit, QByteArray* out)
{
    out->resize(limit);
    qint64 got = 0;
    while (got < limit) {
        const ssize_t n = ::pread(fd, out->data() + got, static_cast<size_t>(limit - got),
                                  static_cast<off_t>(got));
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += n;
    }
    out->truncate(got);
    return true;
}

// The office sees a copy of the document in its private folder, never the user's folders.
bool copy_file(int fd, const QString& target)
{
    const posix::Fd out(::open(QFile::encodeName(target).constData(),
                               O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.valid())
        return false;
    std::vector<char> buffer(std::size_t{1} << 20);
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), offset);
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w =
                ::write(out.get(), buffer.data() + done, static_cast<size_t>(n - done));
            if (w <= 0)
                return false;
            done += w;
        }
        offset += n;
    }
}

std::optional<QStringDecoder> decoder_for(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Cp932:
        return QStringDecoder("Shift_JIS");
    case TextEncoding::EucJp:
        return QStringDecoder("EUC-JP");
    case TextEncoding::Utf16:
        return QStringDecoder(QStringDecoder::Utf16);
    default:
        return QStringDecoder(QStringDecoder::Utf8);
    }
}

} // namespace

struct LibreOfficePreviewRenderer::State
{
    LibreOfficeOptions options;
    QString program; // resolved, empty when none
    QString sandbox; // bwrap, resolved; empty when none
    bool sandbox_works = false;
    FolderCleaner cleaner;
    PictureCache cache;
    int conversions = 0;
    int resident_starts = 0;

    // One-shot mode: profiles kept for the run; two offices at once must not share one.
    struct Profile
    {
        std::unique_ptr<QTemporaryDir> dir;
        bool busy = false;
    };
    std::vector<std::unique_ptr<Profile>> profiles;
    std::vector<std::unique_ptr<ResidentOffice>> offices;

    // Renders in flight, oldest first; a new one supersedes them all.
    struct Request
    {
        bool superseded = false;
        qint64 call_leader = 0;
        ResidentOffice* office = nullptr;
    };
    std::vector<Request*> active;
    std::vector<ResidentOffice*> doomed; // killed for a newer request, to be started again

    // Pages per file version, once the whole document was read.
    QHash<PictureKey, int> page_counts;

    // Offices are started one at a time, up to this many; the next once the last is ready.
    std::size_t wanted_offices = 0;
    int start_niceness = 0;
    QTimer stage;
    QTimer idle; // stops the offices when no preview was asked for in a long time

    explicit State(LibreOfficeOptions o) : options(std::move(o)), cache(options.cache_limit_bytes)
    {
        stage.setInterval(kStagePoll);
        QObject::connect(&stage, &QTimer::timeout, &stage, [this] { start_next_office(); });
        idle.setSingleShot(true);
        idle.setInterval(options.idle_stop);
        QObject::connect(&idle, &QTimer::timeout, &idle, [this] { stop_unused_offices(); });
        resolve_program();
        // Folders of ours that a killed run left behind.
        remove_stale_folders(QDir::tempPath(), QStringLiteral("pelmora-lo-"));
        remove_stale_folders(QDir::tempPath(), QStringLiteral("pelmora-preview-"));
        const int count =
            options.mode == LibreOfficeMode::Resident ? std::max(1, options.resident_offices) : 0;
        for (int i = 0; i < count; ++i)
            offices.push_back(std::make_unique<ResidentOffice>(program, sandbox, cleaner));
    }

    ~State()
    {
        stage.stop();
        idle.stop();
        offices.clear();
    }

    void resolve_program()
    {
        const QString& wanted = options.program;
        if (wanted.isEmpty()) {
            program = QStandardPaths::findExecutable(QStringLiteral("soffice"));
            if (program.isEmpty())
                program = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
        } else if (wanted.contains(QLatin1Char('/'))) {
            const QFileInfo info(wanted);
            program = info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
        } else {
            program = QStandardPaths::findExecutable(wanted);
        }
        sandbox = office_sandbox::find(options.sandbox);
        for (auto& office : offices)
            office = std::make_unique<ResidentOffice>(program, sandbox, cleaner);
    }

    QString time_limit_text() const
    {
        return QString::number(static_cast<double>(options.time_limit.count()) / 1000.0, 'g', 3);
    }

    // The failure when no conversion may run: no jail, no conversion.
    std::optional<PreviewResult> sandbox_failure()
    {
        if (sandbox_works)
            return std::nullopt;
        if (sandbox.isEmpty())
            resolve_program(); // installed while we run?
        if (sandbox.isEmpty())
            return failure(PreviewError::NoSandbox,
                           QStringLiteral("プレビューに必要な bubblewrap (bwrap) が"
                                          "インストールされていません"));
        QString why;
        if (!office_sandbox::usable(sandbox, &why)) {
            qCWarning(lcPreview) << "the office sandbox cannot be made:" << why;
            return failure(PreviewError::NoSandbox,
                           QStringLiteral("LibreOffice を隔離して実行できないため (bubblewrap "
                                          "が名前空間を作成できません)、プレビューを表示"
                                          "できません"));
        }
        sandbox_works = true;
        return std::nullopt;
    }

    bool start(ResidentOffice& office, int niceness = 0)
    {
        if (office.start(niceness) != ResidentOffice::Start::Started)
            return false;
        ++resident_starts;
        return true;
    }

    bool can_start_offices()
    {
        if (options.mode != LibreOfficeMode::Resident)
            return false;
        if (program.isEmpty())
            resolve_program();
        return !program.isEmpty() && !sandbox_failure();
    }

    void prepare()
    {
        note_use();
        if (!can_start_offices())
            return;
        wanted_offices = offices.size();
        start_niceness = 0;
        start_next_office();
    }

    void warm_up()
    {
        for (const auto& office : offices) {
            if (office->running())
                return;
        }
        if (!can_start_offices())
            return;
        note_use();
        wanted_offices = 1;
        start_niceness = options.warm_up_niceness;
        start_next_office();
    }

    // Two offices starting together take longer than one after the other: the next office
    // starts once the others are ready.
    void start_next_office()
    {
        std::size_t up = 0;
        for (const auto& office : offices) {
            if (!office->running())
                continue;
            if (!office->shows_ready()) {
                stage.start();
                return;
            }
            ++up;
        }
        if (up >= wanted_offices) {
            stage.stop();
            return;
        }
        for (auto& office : offices) {
            if (!office->running() && !office->busy) {
                if (start(*office, start_niceness))
                    stage.start();
                else
                    stage.stop();
                return;
            }
        }
        stage.stop();
    }

    void note_use()
    {
        if (options.idle_stop.count() > 0)
            idle.start();
    }

    void stop_unused_offices()
    {
        if (!active.empty()) {
            idle.start();
            return;
        }
        stage.stop();
        wanted_offices = 0;
        for (auto& office : offices) {
            if (office->running()) {
                qCInfo(lcPreview) << "no preview asked for in" << options.idle_stop.count() / 1000
                                  << "s: office stopped";
                office->stop(SIGKILL);
            }
        }
    }

    // Newest click wins: older renders stop at once. Their offices are killed now and started
    // again once the newer request has its picture, so the restart does not delay it.
    void supersede_active()
    {
        for (Request* request : active) {
            if (request->superseded)
                continue;
            request->superseded = true;
            process_group::signal(request->call_leader, SIGKILL);
            if (request->office != nullptr) {
                process_group::signal(request->office->leader(), SIGKILL);
                doomed.push_back(request->office); // stays busy: not picked meanwhile
                request->office = nullptr;
            }
        }
    }

    void restart_doomed()
    {
        std::vector<ResidentOffice*> offices_to_restart;
        offices_to_restart.swap(doomed);
        for (ResidentOffice* office : offices_to_restart) {
            office->stop(SIGKILL);
            start(*office);
        }
    }

    ResidentOffice* pick_office()
    {
        ResidentOffice* starting = nullptr;
        for (auto& office : offices) {
            if (office->busy)
                continue;
            if (office->running() && office->shows_ready())
                return office.get();
            if (office->running() && starting == nullptr)
                starting = office.get();
        }
        if (starting != nullptr)
            return starting;
        for (auto& office : offices) {
            if (!office->busy && start(*office))
                return office.get();
        }
        // Only offices killed for this request: start one again now.
        while (!doomed.empty()) {
            ResidentOffice* office = doomed.back();
            doomed.pop_back();
            office->stop(SIGKILL);
            if (start(*office))
                return office;
        }
        return nullptr;
    }

    // Returns the failure, or nothing when the PDF was written.
    // write_input puts the document at the path given, inside the office's private folder;
    // *outdir is where the PDF then lies.
    std::optional<PreviewResult> convert(Request& request,
                                         const std::function<bool(const QString&)>& write_input,
                                         const QString& input_name, const ImportPlan& plan,
                                         bool container, bool whole, QString* outdir)
    {
        const QDeadlineTimer deadline(options.time_limit);
        QStringList arguments;
        Profile* profile = nullptr;
        QString folder;
        if (options.mode == LibreOfficeMode::Resident) {
            ResidentOffice* office = pick_office();
            if (office == nullptr)
                return failure(PreviewError::ConverterFailed,
                               QStringLiteral("LibreOffice を起動できませんでした"));
            office->busy = true;
            request.office = office;
            const ResidentOffice::Wait wait = office->wait_ready(deadline, options.wait_flags);
            if (request.superseded)
                return failure(PreviewError::Superseded, {});
            if (wait != ResidentOffice::Wait::Ready) {
                office->stop(SIGKILL);
                request.office = nullptr;
                if (wait == ResidentOffice::Wait::Ended)
                    return failure(PreviewError::ConverterFailed,
                                   QStringLiteral("LibreOffice が起動中に終了しました"));
                return failure(PreviewError::TimedOut,
                               QStringLiteral("LibreOffice の起動が制限時間 (%1 秒) 内に"
                                              "終わりませんでした")
                                   .arg(time_limit_text()));
            }
            arguments << office->profile_argument() << QStringLiteral("--headless");
            folder = office->folder();
        } else {
            for (const auto& candidate : profiles) {
                if (!candidate->busy && candidate->dir) {
                    profile = candidate.get();
                    break;
                }
            }
            if (profile == nullptr) {
                auto fresh = std::make_unique<Profile>();
                fresh->dir = office_sandbox::make_folder(QStringLiteral("pelmora-lo-"));
                if (!fresh->dir)
                    return failure(PreviewError::System,
                                   QStringLiteral("一時フォルダを作成できませんでした"));
                profile = fresh.get();
                profiles.push_back(std::move(fresh));
            }
            folder = profile->dir->path();
            arguments << profile_argument(folder + QLatin1Char('/') +
                                          QLatin1String(office_sandbox::kProfile))
                      << QStringLiteral("--headless") << QStringLiteral("--invisible")
                      << QStringLiteral("--nodefault") << QStringLiteral("--nolockcheck");
        }
        const QString input = folder + QLatin1Char('/') + QLatin1String(office_sandbox::kInput) +
                              QLatin1Char('/') + input_name;
        *outdir = folder + QLatin1Char('/') + QLatin1String(office_sandbox::kOutput);
        if (!office_sandbox::clear_exchange(folder) || !write_input(input)) {
            if (request.office != nullptr) {
                request.office->busy = false;
                request.office = nullptr;
            }
            return failure(PreviewError::System,
                           QStringLiteral("一時フォルダを作成できませんでした"));
        }
        if (profile != nullptr)
            profile->busy = true;
        if (!plan.infilter.isEmpty())
            arguments << QStringLiteral("--infilter=") + plan.infilter;
        arguments << QStringLiteral("--nologo") << QStringLiteral("--norestore")
                  << QStringLiteral("--convert-to")
                  << (whole ? whole_document_pdf_argument(plan) : first_page_pdf_argument(plan))
                  << QStringLiteral("--outdir") << *outdir << input;

        ++conversions;
        const OfficeCallOutcome outcome = run_office_call(
            sandbox, office_sandbox::wrap(folder, program, arguments), {}, deadline,
            options.wait_flags, [&request](qint64 leader) { request.call_leader = leader; });
        request.call_leader = 0;
        if (request.office != nullptr)
            request.office->busy = false;
        if (profile != nullptr) {
            profile->busy = false;
            // A killed office may have left its profile half written.
            if (outcome.kind == OfficeCallOutcome::Kind::TimedOut || request.superseded) {
                profile->dir->setAutoRemove(false);
                cleaner.discard_after(profile->dir->path(), outcome.leader);
                profile->dir = office_sandbox::make_folder(QStringLiteral("pelmora-lo-"));
            }
        }
        if (request.superseded)
            return failure(PreviewError::Superseded, {});

        switch (outcome.kind) {
        case OfficeCallOutcome::Kind::FailedToStart:
            qCWarning(lcPreview) << "cannot start" << program;
            return failure(PreviewError::ConverterFailed,
                           QStringLiteral("LibreOffice を起動できませんでした"));
        case OfficeCallOutcome::Kind::TimedOut:
            qCWarning(lcPreview) << "conversion timed out:" << outcome.output;
            // The resident office is most likely stuck on this document.
            if (request.office != nullptr)
                request.office->stop(SIGKILL);
            return failure(PreviewError::TimedOut,
                           QStringLiteral("文書が大きすぎるため時間内 (%1 秒) に"
                                          "表示できませんでした")
                               .arg(time_limit_text()));
        case OfficeCallOutcome::Kind::Finished:
            break;
        }
        if (outcome.crashed) {
            qCWarning(lcPreview) << "conversion crashed:" << outcome.output;
            return failure(PreviewError::ConverterFailed,
                           QStringLiteral("LibreOffice が変換中に異常終了しました"));
        }
        if (outcome.exit_code != 0) {
            qCWarning(lcPreview) << "conversion failed, exit" << outcome.exit_code
                                 << outcome.output;
            if (container)
                return failure(PreviewError::Damaged, kDamaged);
            return failure(PreviewError::ConverterFailed,
                           QStringLiteral("LibreOffice による文書の変換に失敗しました"
                                          " (終了コード %1)")
                               .arg(outcome.exit_code));
        }
        qCDebug(lcPreview) << "converted" << outcome.output;
        return std::nullopt;
    }

    // The file LibreOffice reads: a copy of the document's bytes, or for text exports the
    // first part of the text (re-encoded as UTF-8 for the text importer).
    static bool prepare_input(int source, const SniffedDocument& sniffed, const ImportPlan& plan,
                              const QString& input, bool word_by_name, bool whole)
    {
        if (!sniffed.is_text())
            return copy_file(source, input);
        QByteArray text;
        const qint64 limit = whole ? kWholeTextImportBytes : kTextImportBytes;
        if (!read_prefix(source, limit, &text))
            return false;
        if (text.size() == limit) {
            const qsizetype end = text.lastIndexOf('\n');
            if (end > 0)
                text.truncate(end + 1);
        }
        if (word_by_name && sniffed.format == DocumentFormat::Text &&
            !plan.infilter.startsWith(QStringLiteral("Text - txt - csv"))) {
            std::optional<QStringDecoder> decoder = decoder_for(sniffed.encoding);
            if (decoder && decoder->isValid())
                text = QString(decoder->decode(text)).toUtf8();
        }
        QFile file(input);
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    }

    // The key that stands for the file version as a whole.
    static PictureKey version_of(const PictureKey& key)
    {
        return PictureKey{key.path, key.modified_ns, key.size, 0, -1, false};
    }

    PreviewResult render(const PageRequest& asked)
    {
        note_use();
        const Path& path = asked.path;
        const QSize& pane = asked.pane;
        if (pane.width() <= 0 || pane.height() <= 0)
            return failure(PreviewError::BadPane,
                           QStringLiteral("プレビュー領域の大きさが正しくありません"));
        if (path.is_empty())
            return failure(PreviewError::NoFile,
                           QStringLiteral("プレビューするファイルが指定されていません"));
        // Opened once, through folder descriptors when the path is too long for the kernel;
        // everything below reads this descriptor.
        const posix::AtPath at(path.bytes());
        const posix::Fd source(
            ::openat(at.dir(), at.name(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        struct stat info
        {};
        if (!source.valid() || ::fstat(source.get(), &info) != 0) {
            if (errno == ENAMETOOLONG)
                return failure(PreviewError::NoFile,
                               QStringLiteral("パスが長すぎるため開けません"));
            if (errno == EACCES || errno == EPERM)
                return failure(PreviewError::NoFile, QStringLiteral("ファイルを読み取れません"));
            return failure(PreviewError::NoFile, QStringLiteral("ファイルが見つかりません"));
        }
        if (!S_ISREG(info.st_mode))
            return failure(PreviewError::NoFile, QStringLiteral("ファイルではありません"));

        PictureKey key{native_path::from_native(native_path::to_absolute_native(path.text())),
                       qint64{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec,
                       qint64{info.st_size},
                       pane.width(),
                       std::max(0, asked.page),
                       asked.crop};
        const int known = page_counts.value(version_of(key));
        if (known > 0)
            key.page = std::min(key.page, known - 1);
        if (auto image = cache.find(key)) {
            PreviewResult hit;
            hit.image = std::move(*image);
            hit.page = key.page;
            hit.page_count = known;
            return hit;
        }

        supersede_active();
        Request request;
        active.push_back(&request);
        PreviewResult result = render_uncached(request, path, source.get(), key);
        std::erase(active, &request);
        if (!request.superseded)
            restart_doomed();
        return result;
    }

    PreviewResult render_uncached(Request& request, const Path& path, int source,
                                  const PictureKey& key)
    {
        const SniffedDocument sniffed = sniff_open_file(source);
        switch (sniffed.format) {
        case DocumentFormat::Unreadable:
            return failure(PreviewError::NoFile, QStringLiteral("ファイルを読み取れません"));
        case DocumentFormat::Empty:
            return failure(PreviewError::NotADocument,
                           QStringLiteral("空のファイル (0 バイト) です"));
        case DocumentFormat::Binary:
            return failure(PreviewError::NotADocument,
                           QStringLiteral("文書ファイルとして読み取れません"));
        default:
            break;
        }
        if (sniffed.encrypted)
            return failure(PreviewError::Encrypted,
                           QStringLiteral("パスワードで保護された文書です"));

        // A later page needs the whole document; page 1 is drawn from it when it is there.
        const bool later = key.page > 0;
        std::optional<QByteArray> pdf = cache.find_page(key, true);
        bool whole = pdf.has_value();
        if (!pdf && !later)
            pdf = cache.find_page(key);
        if (!pdf) {
            if (program.isEmpty())
                resolve_program(); // installed while we run?
            if (program.isEmpty())
                return failure(PreviewError::NoConverter,
                               QStringLiteral("LibreOffice がインストールされていません"
                                              " (プレビューに必要です)"));
            if (auto failed = sandbox_failure())
                return std::move(*failed);
            pdf.emplace();
            if (auto failed = convert_to_pdf(request, path, source, sniffed, later, &*pdf))
                return std::move(*failed);
            cache.insert_page(key, *pdf, later);
            whole = later;
        }
        DrawnPage page = draw_off_thread(*pdf, key, options.wait_flags);
        if (page.image.isNull()) {
            qCWarning(lcPreview) << "cannot draw" << path.readable() << ":" << page.why;
            if (sniffed.is_container())
                return failure(PreviewError::Damaged, kDamaged);
            return failure(PreviewError::RenderFailed,
                           QStringLiteral("変換された文書を表示できませんでした"));
        }
        if (whole)
            page_counts.insert(version_of(key), page.page_count);
        PictureKey drawn = key;
        drawn.page = page.page;
        cache.insert(drawn, page.image);
        if (request.superseded)
            return failure(PreviewError::Superseded, {});
        PreviewResult result;
        result.image = std::move(page.image);
        result.page = page.page;
        result.page_count = whole ? page.page_count : 0;
        return result;
    }

    std::optional<PreviewResult> convert_to_pdf(Request& request, const Path& path, int source,
                                                const SniffedDocument& sniffed, bool whole,
                                                QByteArray* pdf)
    {
        const QString suffix = QFileInfo(path.readable()).suffix().toLower();
        const bool word_by_name = suffix == QStringLiteral("doc") ||
                                  suffix == QStringLiteral("docx") ||
                                  suffix == QStringLiteral("rtf");
        const ImportPlan plan = import_plan(sniffed, word_by_name);
        const QString name =
            QStringLiteral("document.") + (plan.suffix.isEmpty() ? suffix : plan.suffix);
        QString outdir;
        const auto write_input = [&](const QString& input) {
            return prepare_input(source, sniffed, plan, input, word_by_name, whole);
        };
        if (auto failed =
                convert(request, write_input, name, plan, sniffed.is_container(), whole, &outdir))
            return failed;

        QString written = outdir + QStringLiteral("/document.pdf");
        if (!QFileInfo::exists(written)) {
            const QStringList any = QDir(outdir).entryList({QStringLiteral("*.pdf")}, QDir::Files);
            if (any.isEmpty()) {
                qCWarning(lcPreview) << "no PDF written for" << path.readable();
                if (sniffed.is_container())
                    return failure(PreviewError::Damaged, kDamaged);
                return failure(PreviewError::NoOutput,
                               QStringLiteral("LibreOffice が文書を変換できませんでした"));
            }
            written = outdir + QLatin1Char('/') + any.constFirst();
        }
        QFile file(written);
        if (!file.open(QIODevice::ReadOnly))
            return failure(PreviewError::RenderFailed,
                           QStringLiteral("変換された文書を表示できませんでした"));
        *pdf = file.readAll();
        return std::nullopt;
    }
};

LibreOfficePreviewRenderer::LibreOfficePreviewRenderer(LibreOfficeOptions options)
    : d_(std::make_unique<State>(std::move(options)))
{}

LibreOfficePreviewRenderer::~LibreOfficePreviewRenderer() = default;

PreviewResult LibreOfficePreviewRenderer::render_page(const PageRequest& request)
{
    return d_->render(request);
}

void LibreOfficePreviewRenderer::prepare()
{
    d_->prepare();
}

void LibreOfficePreviewRenderer::warm_up()
{
    d_->warm_up();
}

std::vector<qint64> LibreOfficePreviewRenderer::office_groups() const
{
    std::vector<qint64> groups;
    for (const auto& office : d_->offices) {
        if (office->running() && office->leader() > 0)
            groups.push_back(office->leader());
    }
    return groups;
}

QString LibreOfficePreviewRenderer::program() const
{
    return d_->program;
}

int LibreOfficePreviewRenderer::conversions() const
{
    return d_->conversions;
}

int LibreOfficePreviewRenderer::resident_starts() const
{
    return d_->resident_starts;
}

void LibreOfficePreviewRenderer::clear_cache()
{
    d_->cache.clear();
}

} // namespace pelmora
