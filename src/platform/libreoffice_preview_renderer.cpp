#include "platform/libreoffice_preview_renderer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <csignal>
#include <optional>
#include <poppler-qt6.h>
#include <sys/prctl.h>
#include <thread>
#include <type_traits>
#include <unistd.h>
#include <utility>
#include <vector>

namespace pelmora {

namespace {

Q_LOGGING_CATEGORY(lcPreview, "pelmora.preview", QtInfoMsg)

// Without a lock file (lock files switched off by an administrator) the resident office is
// taken as ready after this long.
constexpr std::chrono::milliseconds kStartGrace{20'000};
constexpr std::chrono::milliseconds kPollInterval{25};
constexpr auto kKeepName = "keep.txt";

PreviewResult failure(PreviewError error, QString message)
{
    PreviewResult result;
    result.error = error;
    result.message = std::move(message);
    return result;
}

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// Runs in the forked child before exec: a session of its own, so the whole tree (soffice,
// oosplash, soffice.bin) can be signalled at once, and SIGTERM when Pelmora dies, so no
// office outlives a crashed program.
void child_setup()
{
    ::setsid();
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
}

void signal_group(qint64 leader, int sig)
{
    if (leader > 0)
        ::kill(-static_cast<pid_t>(leader), sig);
}

// Whether any process of the group still runs. Zombies do not count: they are only waiting
// for their reaper, which on some systems takes a second or more.
bool group_alive(qint64 leader)
{
    if (leader <= 0 || ::kill(-static_cast<pid_t>(leader), 0) != 0)
        return false;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        if (entry.isEmpty() || !entry.front().isDigit())
            continue;
        QFile stat(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // pid (comm) state ppid pgrp ...; comm may contain blanks and parentheses.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields.at(2).toLongLong() == leader && fields.at(0) != "Z")
            return true;
    }
    return false;
}

QString profile_url(const QString& dir)
{
    return QStringLiteral("-env:UserInstallation=") +
           QUrl::fromLocalFile(dir).toString(QUrl::FullyEncoded);
}

enum class Sniff { Document, Empty, Binary, Unreadable };

// LibreOffice imports any bytes at all as text, so a picture renamed to .xls would come back
// as a page of noise. Accept the containers office programs write under these names and
// plain text (CSV, HTML, XML); refuse binary data that is none of them.
Sniff sniff(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Sniff::Unreadable;
    const QByteArray head = file.read(4096);
    if (head.isEmpty())
        return Sniff::Empty;

    static const QByteArray signatures[] = {
        QByteArrayLiteral("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"), // OLE2: Excel 5+, Word 6+
        QByteArrayLiteral("PK\x03\x04"),                       // OOXML or ODF under an old name
        QByteArrayLiteral("{\\rtf"),                           // RTF saved as .doc
        QByteArrayLiteral("\xDB\xA5"),                         // Word 2
        QByteArrayLiteral("\x31\xBE\x00\x00"),                 // Word for DOS, Write
        QByteArrayLiteral("\x09\x00\x04\x00"),                 // BIFF2 worksheet
        QByteArrayLiteral("\x09\x02\x06\x00"),                 // BIFF3
        QByteArrayLiteral("\x09\x04\x06\x00"),                 // BIFF4
        QByteArrayLiteral("\xFF\xFE"),                         // UTF-16 text
        QByteArrayLiteral("\xFE\xFF"),
    };
    for (const QByteArray& signature : signatures) {
        if (head.startsWith(signature))
            return Sniff::Document;
    }
    qsizetype control = 0;
    for (const char c : head) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0)
            return Sniff::Binary;
        // Tab, LF, FF, CR, ^Z (old end of file), ESC (ISO-2022-JP) appear in text.
        if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\f' && byte != '\r' &&
            byte != 0x1A && byte != 0x1B)
            ++control;
    }
    return control * 100 > head.size() ? Sniff::Binary : Sniff::Document;
}

struct CacheKey
{
    QString path;
    qint64 modified_ms = 0;
    qint64 size = 0; // catches rewrites within one time stamp tick
    QSize pane;

    bool operator==(const CacheKey&) const = default;
};

size_t qHash(const CacheKey& key, size_t seed = 0)
{
    return qHashMulti(seed, key.path, key.modified_ms, key.size, key.pane.width(),
                      key.pane.height());
}

struct CacheEntry
{
    QImage image;
    quint64 last_used = 0;
};

// Runs fn on a worker thread while this thread's event loop keeps running.
template <typename Fn>
std::invoke_result_t<Fn&> run_off_thread(Fn fn, QEventLoop::ProcessEventsFlags flags)
{
    std::optional<std::invoke_result_t<Fn&>> result;
    QEventLoop loop;
    std::unique_ptr<QThread> worker(QThread::create([&] { result.emplace(fn()); }));
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    worker->start();
    loop.exec(flags);
    worker->wait();
    return std::move(*result);
}

struct PageImage
{
    QImage image;
    QString why; // for the log
};

// Poppler work; runs on a worker thread, so it touches nothing shared.
PageImage render_first_page(const QString& pdf, const QSize& pane)
{
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::load(pdf);
    if (!document)
        return {{}, QStringLiteral("Poppler cannot open the PDF")};
    if (document->isLocked())
        return {{}, QStringLiteral("the PDF is locked")};
    if (document->numPages() < 1)
        return {{}, QStringLiteral("the PDF has no pages")};
    document->setPaperColor(Qt::white);
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    document->setRenderHint(Poppler::Document::ThinLineShape);

    const std::unique_ptr<Poppler::Page> page = document->page(0);
    if (!page)
        return {{}, QStringLiteral("the first page cannot be read")};
    const QSizeF points = page->pageSizeF();
    if (points.width() <= 0 || points.height() <= 0)
        return {{}, QStringLiteral("the first page has no size")};

    const QSizeF fitted = points.scaled(QSizeF(pane), Qt::KeepAspectRatio);
    const QSize target(qBound(1, qRound(fitted.width()), pane.width()),
                       qBound(1, qRound(fitted.height()), pane.height()));
    QImage image = page->renderToImage(72.0 * target.width() / points.width(),
                                       72.0 * target.height() / points.height());
    if (image.isNull())
        return {{}, QStringLiteral("Poppler could not draw the page")};
    image.convertTo(QImage::Format_RGB32);
    // The resolution rounds to whole pixels on Poppler's side; close the last pixel here.
    if (image.size() != target)
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return {std::move(image), {}};
}

struct RunOutcome
{
    enum class Kind { Finished, FailedToStart, TimedOut } kind = Kind::Finished;
    int exit_code = -1;
    bool crashed = false;
    QByteArray output;
    qint64 leader = 0; // process group it ran in
};

// LibreOffice leaves scratch files in TMPDIR when it is stopped; point it into a folder that
// is removed with ours.
QProcessEnvironment environment_with_tmpdir(const QString& tmpdir)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), tmpdir);
    return environment;
}

// Runs a program to its end under the deadline, keeping the event loop running. On time-out
// the whole process group is killed.
RunOutcome run_to_end(const QString& program, const QStringList& arguments, const QString& tmpdir,
                      const QDeadlineTimer& deadline, QEventLoop::ProcessEventsFlags flags)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessEnvironment(environment_with_tmpdir(tmpdir));
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setChildProcessModifier(child_setup);

    qint64 leader = 0;
    bool failed_to_start = false;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&process, &QProcess::started, &loop, [&] { leader = process.processId(); });
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            failed_to_start = true;
            loop.quit();
        }
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);

    RunOutcome outcome;
    process.start();
    if (process.state() != QProcess::NotRunning && !failed_to_start) {
        limit.start(std::chrono::milliseconds(std::max<qint64>(0, deadline.remainingTime())));
        loop.exec(flags);
    }
    if (failed_to_start ||
        (process.state() == QProcess::NotRunning && process.error() == QProcess::FailedToStart)) {
        outcome.kind = RunOutcome::Kind::FailedToStart;
        return outcome;
    }
    if (process.state() != QProcess::NotRunning) {
        outcome.kind = RunOutcome::Kind::TimedOut;
        signal_group(leader != 0 ? leader : process.processId(), SIGKILL);
        if (process.state() != QProcess::NotRunning) {
            // SIGKILL cannot be ignored; this only waits for the kernel to report it.
            QTimer backstop;
            backstop.setSingleShot(true);
            QObject::connect(&backstop, &QTimer::timeout, &loop, &QEventLoop::quit);
            backstop.start(5000);
            loop.exec(flags);
        }
    } else {
        outcome.exit_code = process.exitCode();
        outcome.crashed = process.exitStatus() == QProcess::CrashExit;
        // Anything the program left behind in its group goes with it.
        signal_group(leader, SIGKILL);
    }
    outcome.output = process.readAll().right(2000);
    outcome.leader = leader;
    return outcome;
}

} // namespace

struct LibreOfficePreviewRenderer::State
{
    // Declared first so it is joined last, after the offices are gone.
    std::vector<std::jthread> cleaners;

    LibreOfficeOptions options;
    QString program; // resolved, empty when none

    int conversions = 0;
    int resident_starts = 0;

    QHash<CacheKey, CacheEntry> cache;
    qint64 cache_bytes = 0;
    quint64 use_counter = 0;

    // One-shot mode: profiles kept for the run; a render that runs nested inside another
    // one's wait takes a second profile, as two offices must not share one.
    struct Profile
    {
        std::unique_ptr<QTemporaryDir> dir;
        bool busy = false;
    };
    std::vector<std::unique_ptr<Profile>> profiles;

    // Resident mode.
    std::unique_ptr<QTemporaryDir> server_dir;
    std::unique_ptr<QProcess> server;
    qint64 server_leader = 0;
    QString server_profile;
    QElapsedTimer server_age;
    bool server_ready = false;

    explicit State(LibreOfficeOptions o) : options(std::move(o)) { resolve_program(); }

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
    }

    QString missing_program_message() const
    {
        if (options.program.isEmpty())
            return QStringLiteral("プレビューに必要な LibreOffice (soffice) が見つかりません。"
                                  "LibreOffice をインストールしてください。");
        return QStringLiteral("プレビューに必要な LibreOffice が見つかりません: %1")
            .arg(shown(options.program));
    }

    QString time_limit_text() const
    {
        return QString::number(static_cast<double>(options.time_limit.count()) / 1000.0, 'g', 3);
    }

    // Removes a folder on a worker thread once the process group that used it is gone:
    // deleting a profile the office was killed in can take longer than the UI may stall.
    void discard_later(std::unique_ptr<QTemporaryDir> dir, qint64 leader)
    {
        if (!dir || !dir->isValid())
            return;
        dir->setAutoRemove(false);
        cleaners.emplace_back([path = dir->path(), leader] {
            QDeadlineTimer gone(5000);
            while (group_alive(leader) && !gone.hasExpired())
                QThread::msleep(20);
            QDir(path).removeRecursively();
        });
    }

    // --- cache ---

    std::optional<QImage> cached(const CacheKey& key)
    {
        const auto it = cache.find(key);
        if (it == cache.end())
            return std::nullopt;
        it->last_used = ++use_counter;
        return it->image;
    }

    void remember(const CacheKey& key, const QImage& image)
    {
        const qint64 bytes = image.sizeInBytes();
        if (bytes > options.cache_limit_bytes)
            return;
        if (const auto old = cache.find(key); old != cache.end()) {
            cache_bytes -= old->image.sizeInBytes();
            cache.erase(old);
        }
        while (cache_bytes + bytes > options.cache_limit_bytes && !cache.isEmpty()) {
            auto oldest = cache.begin();
            for (auto it = cache.begin(); it != cache.end(); ++it) {
                if (it->last_used < oldest->last_used)
                    oldest = it;
            }
            cache_bytes -= oldest->image.sizeInBytes();
            cache.erase(oldest);
        }
        cache.insert(key, CacheEntry{image, ++use_counter});
        cache_bytes += bytes;
    }

    // --- resident office ---

    bool server_running() const { return server && server->state() != QProcess::NotRunning; }

    void stop_server(int sig)
    {
        if (server) {
            const qint64 leader = server_leader != 0 ? server_leader : server->processId();
            signal_group(leader, sig);
            server->waitForFinished(sig == SIGKILL ? 1000 : 3000);
            if (sig != SIGKILL) {
                // On a clean stop soffice.bin may still be saving its profile; it is in the
                // same group.
                QDeadlineTimer grace(3000);
                while (group_alive(leader) && !grace.hasExpired())
                    QThread::msleep(20);
                signal_group(leader, SIGKILL);
            }
            if (server->state() != QProcess::NotRunning)
                server->waitForFinished(1000);
            server.reset();
        }
        if (sig == SIGKILL)
            discard_later(std::move(server_dir), server_leader);
        server_dir.reset();
        server_leader = 0;
        server_ready = false;
    }

    // Starts the resident office without waiting for it. Empty result on success.
    std::optional<PreviewResult> start_server()
    {
        stop_server(SIGKILL);
        auto dir = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                   QStringLiteral("/pelmora-lo-XXXXXX"));
        const QString keep_dir = dir->path() + QStringLiteral("/keep");
        const QString tmpdir = dir->path() + QStringLiteral("/tmp");
        QFile keep(keep_dir + QLatin1Char('/') + QLatin1String(kKeepName));
        if (!dir->isValid() || !QDir().mkpath(keep_dir) || !QDir().mkpath(tmpdir) ||
            !keep.open(QIODevice::WriteOnly) || keep.write("Pelmora\n") < 0)
            return failure(PreviewError::System,
                           QStringLiteral("一時フォルダを作成できませんでした。"));
        keep.close();

        server_profile = profile_url(dir->path() + QStringLiteral("/profile"));
        server = std::make_unique<QProcess>();
        server->setProgram(program);
        // The open hidden document keeps the office from ending after each conversion.
        server->setArguments({server_profile, QStringLiteral("--headless"),
                              QStringLiteral("--invisible"), QStringLiteral("--nologo"),
                              QStringLiteral("--norestore"), QStringLiteral("--nolockcheck"),
                              keep.fileName()});
        server->setProcessEnvironment(environment_with_tmpdir(tmpdir));
        server->setStandardInputFile(QProcess::nullDevice());
        server->setStandardOutputFile(QProcess::nullDevice());
        server->setStandardErrorFile(QProcess::nullDevice());
        server->setChildProcessModifier(child_setup);
        server_dir = std::move(dir);
        server_ready = false;
        server->start();
        if (!server->waitForStarted(5000)) {
            qCWarning(lcPreview) << "resident office did not start:" << server->errorString();
            stop_server(SIGKILL);
            return failure(PreviewError::ConverterFailed,
                           QStringLiteral("LibreOffice を起動できませんでした。"));
        }
        server_leader = server->processId();
        server_age.start();
        ++resident_starts;
        return std::nullopt;
    }

    // The office has loaded the keep document once its lock file appears; by then it takes
    // requests from other soffice calls.
    bool server_shows_ready() const
    {
        if (!server_dir)
            return false;
        const QString lock = server_dir->path() + QStringLiteral("/keep/.~lock.") +
                             QLatin1String(kKeepName) + QLatin1Char('#');
        return QFileInfo::exists(lock) || server_age.elapsed() >= kStartGrace.count();
    }

    std::optional<PreviewResult> ensure_server(const QDeadlineTimer& deadline)
    {
        if (!server_running()) {
            if (auto failed = start_server())
                return failed;
        }
        if (server_ready)
            return std::nullopt;

        QEventLoop loop;
        QTimer poll;
        const auto check = [&] {
            if (!server_running() || server_shows_ready() || deadline.hasExpired())
                loop.quit();
        };
        QObject::connect(&poll, &QTimer::timeout, &loop, check);
        QObject::connect(server.get(), &QProcess::finished, &loop, &QEventLoop::quit);
        poll.start(kPollInterval);
        if (!server_shows_ready())
            loop.exec(options.wait_flags);

        if (server_running() && server_shows_ready()) {
            server_ready = true;
            qCInfo(lcPreview) << "resident office ready after" << server_age.elapsed() << "ms";
            return std::nullopt;
        }
        if (!server_running()) {
            stop_server(SIGKILL);
            return failure(PreviewError::ConverterFailed,
                           QStringLiteral("LibreOffice が起動中に終了しました。"));
        }
        stop_server(SIGKILL);
        return failure(PreviewError::TimedOut,
                       QStringLiteral("LibreOffice の起動が制限時間 (%1 秒) 内に終わらなかったため"
                                      "中止しました。")
                           .arg(time_limit_text()));
    }

    // --- conversion ---

    std::optional<PreviewResult> convert(const QString& input, const QString& outdir,
                                         const QString& tmpdir, const QString& name)
    {
        const QDeadlineTimer deadline(options.time_limit);
        QStringList arguments;
        State::Profile* profile = nullptr;
        if (options.mode == LibreOfficeMode::Resident) {
            if (auto failed = ensure_server(deadline))
                return failed;
            arguments << server_profile << QStringLiteral("--headless");
        } else {
            for (const auto& candidate : profiles) {
                if (!candidate->busy) {
                    profile = candidate.get();
                    break;
                }
            }
            if (profile == nullptr) {
                auto fresh = std::make_unique<Profile>();
                fresh->dir = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                             QStringLiteral("/pelmora-lo-XXXXXX"));
                if (!fresh->dir->isValid())
                    return failure(PreviewError::System,
                                   QStringLiteral("一時フォルダを作成できませんでした。"));
                profile = fresh.get();
                profiles.push_back(std::move(fresh));
            }
            profile->busy = true;
            arguments << profile_url(profile->dir->path()) << QStringLiteral("--headless")
                      << QStringLiteral("--invisible") << QStringLiteral("--nodefault")
                      << QStringLiteral("--nolockcheck");
        }
        arguments << QStringLiteral("--nologo") << QStringLiteral("--norestore")
                  << QStringLiteral("--convert-to") << QStringLiteral("pdf")
                  << QStringLiteral("--outdir") << outdir << input;

        ++conversions;
        const RunOutcome outcome =
            run_to_end(program, arguments, tmpdir, deadline, options.wait_flags);
        if (profile != nullptr) {
            profile->busy = false;
            // A killed office may have left its profile half written.
            if (outcome.kind == RunOutcome::Kind::TimedOut) {
                discard_later(std::move(profile->dir), outcome.leader);
                profile->dir = std::make_unique<QTemporaryDir>(
                    QDir::tempPath() + QStringLiteral("/pelmora-lo-XXXXXX"));
            }
        }

        switch (outcome.kind) {
        case RunOutcome::Kind::FailedToStart:
            qCWarning(lcPreview) << "cannot start" << program;
            return failure(PreviewError::ConverterFailed,
                           QStringLiteral("LibreOffice を起動できませんでした。"));
        case RunOutcome::Kind::TimedOut:
            qCWarning(lcPreview) << "conversion timed out:" << name << outcome.output;
            // The resident office is most likely stuck on this document.
            if (options.mode == LibreOfficeMode::Resident)
                stop_server(SIGKILL);
            return failure(PreviewError::TimedOut,
                           QStringLiteral("文書の変換が制限時間 (%1 秒) 内に終わらなかったため"
                                          "中止しました: %2")
                               .arg(time_limit_text(), name));
        case RunOutcome::Kind::Finished:
            break;
        }
        if (outcome.crashed || outcome.exit_code != 0) {
            qCWarning(lcPreview) << "conversion failed:" << name << "exit" << outcome.exit_code
                                 << "crashed" << outcome.crashed << outcome.output;
            return failure(
                PreviewError::ConverterFailed,
                outcome.crashed
                    ? QStringLiteral("LibreOffice が変換中に異常終了しました: %1").arg(name)
                    : QStringLiteral("LibreOffice による文書の変換に失敗しました"
                                     "(終了コード %1): %2")
                          .arg(outcome.exit_code)
                          .arg(name));
        }
        qCDebug(lcPreview) << "converted" << name << outcome.output;
        return std::nullopt;
    }

    PreviewResult render(const QString& path, const QSize& pane)
    {
        if (pane.width() <= 0 || pane.height() <= 0)
            return failure(PreviewError::BadPane,
                           QStringLiteral("プレビュー領域の大きさが正しくありません。"));
        if (path.isEmpty())
            return failure(PreviewError::NoFile,
                           QStringLiteral("プレビューするファイルが指定されていません。"));
        const QFileInfo info(path);
        if (!info.exists())
            return failure(PreviewError::NoFile,
                           QStringLiteral("ファイルが見つかりません: %1").arg(shown(path)));
        if (!info.isFile())
            return failure(PreviewError::NoFile,
                           QStringLiteral("ファイルではありません: %1").arg(shown(path)));

        const CacheKey key{info.absoluteFilePath(), info.lastModified().toMSecsSinceEpoch(),
                           info.size(), pane};
        if (auto image = cached(key)) {
            PreviewResult hit;
            hit.image = std::move(*image);
            return hit;
        }

        switch (sniff(key.path)) {
        case Sniff::Document:
            break;
        case Sniff::Unreadable:
            return failure(PreviewError::NoFile,
                           QStringLiteral("ファイルを読み取れません: %1").arg(shown(path)));
        case Sniff::Empty:
        case Sniff::Binary:
            return failure(PreviewError::NotADocument,
                           QStringLiteral("文書ファイルとして読み取れません: %1").arg(shown(path)));
        }

        if (program.isEmpty())
            resolve_program(); // installed while we run?
        if (program.isEmpty())
            return failure(PreviewError::NoConverter, missing_program_message());

        QElapsedTimer phase;
        phase.start();
        const QTemporaryDir work(QDir::tempPath() + QStringLiteral("/pelmora-preview-XXXXXX"));
        const QString outdir = work.path() + QStringLiteral("/out");
        const QString tmpdir = work.path() + QStringLiteral("/tmp");
        if (!work.isValid() || !QDir().mkpath(outdir) || !QDir().mkpath(tmpdir))
            return failure(PreviewError::System,
                           QStringLiteral("一時フォルダを作成できませんでした。"));
        // A fixed input name gives a known output name, whatever characters the real name has.
        QString input = work.path() + QStringLiteral("/document");
        if (!info.suffix().isEmpty())
            input += QLatin1Char('.') + info.suffix();
        if (!QFile::link(key.path, input))
            input = key.path;

        qCDebug(lcPreview) << "input ready after" << phase.elapsed() << "ms";
        if (auto failed = convert(input, outdir, tmpdir, shown(path)))
            return std::move(*failed);
        qCDebug(lcPreview) << "converted after" << phase.elapsed() << "ms";

        QString pdf = outdir + QStringLiteral("/") + QFileInfo(input).completeBaseName() +
                      QStringLiteral(".pdf");
        if (!QFileInfo::exists(pdf)) {
            const QStringList any = QDir(outdir).entryList({QStringLiteral("*.pdf")}, QDir::Files);
            if (any.isEmpty()) {
                qCWarning(lcPreview) << "no PDF written for" << path;
                return failure(PreviewError::NoOutput,
                               QStringLiteral("LibreOffice が文書を変換できませんでした"
                                              "(PDF が作成されませんでした): %1")
                                   .arg(shown(path)));
            }
            pdf = outdir + QLatin1Char('/') + any.constFirst();
        }

        PageImage page = run_off_thread([&pdf, pane] { return render_first_page(pdf, pane); },
                                        options.wait_flags);
        if (page.image.isNull()) {
            qCWarning(lcPreview) << "cannot draw" << path << ":" << page.why;
            return failure(
                PreviewError::RenderFailed,
                QStringLiteral("変換された文書を表示できませんでした: %1").arg(shown(path)));
        }
        qCDebug(lcPreview) << "drawn after" << phase.elapsed() << "ms";
        remember(key, page.image);
        PreviewResult result;
        result.image = std::move(page.image);
        return result;
    }
};

LibreOfficePreviewRenderer::LibreOfficePreviewRenderer(LibreOfficeOptions options)
    : d_(std::make_unique<State>(std::move(options)))
{}

LibreOfficePreviewRenderer::~LibreOfficePreviewRenderer()
{
    d_->stop_server(SIGTERM);
}

PreviewResult LibreOfficePreviewRenderer::render(const QString& path, const QSize& pane)
{
    return d_->render(path, pane);
}

void LibreOfficePreviewRenderer::prepare()
{
    if (d_->options.mode != LibreOfficeMode::Resident || d_->server_running())
        return;
    if (d_->program.isEmpty())
        d_->resolve_program();
    if (!d_->program.isEmpty())
        d_->start_server();
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
    d_->cache_bytes = 0;
}

} // namespace pelmora
