// Times previews of typical one-page workbooks and documents through the real LibreOffice
// renderer, each scenario with a fresh renderer (so a fresh picture memory), and watches a
// 10 ms timer meanwhile: its longest gap is how long the window would have been frozen.
//
//   preview_bench [--workbooks N] [--documents N] [--pane WxH] [--idle SECONDS] [--save DIR]
#include "office_fixtures.h"
#include "platform/libreoffice_preview_renderer.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using namespace pelmora;

// Longest interval between ticks of a 10 ms timer while armed.
class StallWatch final
{
public:
    StallWatch()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout,
                         [this] { worst_ = std::max(worst_, since_.restart()); });
    }
    void start()
    {
        worst_ = 0;
        since_.start();
        timer_.start(10);
    }
    qint64 stop()
    {
        timer_.stop();
        worst_ = std::max(worst_, since_.elapsed());
        return worst_;
    }

private:
    QTimer timer_;
    QElapsedTimer since_;
    qint64 worst_ = 0;
};

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return values.size() % 2 != 0 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

void idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Scenario
{
    const char* name;
    std::vector<double> ms;
    qint64 worst_gap_ms = 0;
    int failures = 0;
};

void report(const Scenario& s, bool skip_first)
{
    QString each;
    for (const double ms : s.ms)
        each += QStringLiteral(" %1").arg(ms, 0, 'f', 0);
    std::printf("%-34s median %7.1f ms", s.name, median(s.ms));
    if (skip_first && s.ms.size() > 1) {
        std::printf("  (first %6.0f ms, median of the rest %6.1f ms)", s.ms.front(),
                    median(std::vector<double>(s.ms.begin() + 1, s.ms.end())));
    }
    std::printf("  longest stall %4lld ms  failures %d\n", static_cast<long long>(s.worst_gap_ms),
                s.failures);
    std::printf("%-34s   each [ms]:%s\n", "", qPrintable(each));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption workbooks_option(QStringLiteral("workbooks"),
                                              QStringLiteral("Workbooks to make."),
                                              QStringLiteral("N"), QStringLiteral("5"));
    const QCommandLineOption documents_option(QStringLiteral("documents"),
                                              QStringLiteral("Documents to make."),
                                              QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption pane_option(QStringLiteral("pane"), QStringLiteral("Pane size."),
                                         QStringLiteral("WxH"), QStringLiteral("360x500"));
    const QCommandLineOption idle_option(
        QStringLiteral("idle"), QStringLiteral("Seconds between prepare() and the first request."),
        QStringLiteral("SECONDS"), QStringLiteral("8"));
    const QCommandLineOption only_option(
        QStringLiteral("only"),
        QStringLiteral(
            "Run only these scenarios (comma list of resident,prepared,one-shot,fresh,timeout)."),
        QStringLiteral("LIST"), QStringLiteral("resident,prepared,one-shot,fresh,timeout"));
    const QCommandLineOption save_option(QStringLiteral("save"),
                                         QStringLiteral("Write the pictures as PNG into DIR."),
                                         QStringLiteral("DIR"));
    parser.addOptions(
        {workbooks_option, documents_option, pane_option, idle_option, only_option, save_option});
    parser.process(app);

    const QStringList pane_parts = parser.value(pane_option).split(QLatin1Char('x'));
    const QSize pane(pane_parts.value(0).toInt(), pane_parts.value(1).toInt());
    const QString soffice = fixtures::find_soffice();
    if (soffice.isEmpty()) {
        std::fprintf(stderr, "LibreOffice (soffice) is not on PATH\n");
        return 2;
    }

    QTemporaryDir dir;
    const QString sources = dir.path() + QStringLiteral("/sources");
    const QString docs = dir.path() + QStringLiteral("/docs");
    QDir().mkpath(sources);
    QDir().mkpath(docs);
    QStringList csvs;
    QStringList rtfs;
    for (int i = 0; i < parser.value(workbooks_option).toInt(); ++i) {
        csvs << sources + QStringLiteral("/集計表%1.csv").arg(i + 1);
        fixtures::write_text(csvs.last(), fixtures::sample_workbook_csv(15 + 6 * i, i));
    }
    for (int i = 0; i < parser.value(documents_option).toInt(); ++i) {
        rtfs << sources + QStringLiteral("/報告書%1.rtf").arg(i + 1);
        fixtures::write_text(rtfs.last(), fixtures::sample_document_rtf(i));
    }
    QString log;
    QStringList files = fixtures::convert_with_soffice(soffice, csvs, QStringLiteral("xls"), docs,
                                                       &log, fixtures::csv_utf8_infilter());
    if (files.size() != csvs.size()) {
        std::fprintf(stderr, "making workbooks failed: %s\n", qPrintable(log));
        return 1;
    }
    const QStringList documents =
        fixtures::convert_with_soffice(soffice, rtfs, QStringLiteral("doc"), docs, &log);
    if (documents.size() != rtfs.size()) {
        std::fprintf(stderr, "making documents failed: %s\n", qPrintable(log));
        return 1;
    }
    files << documents;
    std::printf("%s; %lld files (%lld .xls, %lld .doc), pane %dx%d\n", qPrintable(soffice),
                qlonglong(files.size()), qlonglong(csvs.size()), qlonglong(rtfs.size()),
                pane.width(), pane.height());

    const QStringList only = parser.value(only_option).split(QLatin1Char(','));
    const QString save_dir = parser.value(save_option);
    if (!save_dir.isEmpty())
        QDir().mkpath(save_dir);
    StallWatch watch;
    const auto timed = [&](LibreOfficePreviewRenderer& renderer, const QString& file, Scenario& s) {
        QElapsedTimer clock;
        clock.start();
        const PreviewResult result = renderer.render(file, pane);
        s.ms.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (!result.ok()) {
            ++s.failures;
            std::fprintf(stderr, "%s: %s\n", qPrintable(file), qPrintable(result.message));
        } else if (!save_dir.isEmpty()) {
            result.image.save(save_dir + QLatin1Char('/') + QFileInfo(file).fileName() +
                              QStringLiteral(".png"));
        }
    };
    const auto options_for = [](LibreOfficeMode mode) {
        LibreOfficeOptions options;
        options.mode = mode;
        options.time_limit = std::chrono::seconds(90);
        return options;
    };

    // Resident office, started by the first request.
    Scenario cold{"resident, started by 1st request", {}, 0, 0};
    Scenario cached{"resident, same requests again", {}, 0, 0};
    QElapsedTimer stop_clock;
    qint64 stop_ms = -1;
    if (only.contains(QStringLiteral("resident"))) {
        LibreOfficePreviewRenderer renderer(options_for(LibreOfficeMode::Resident));
        watch.start();
        for (const QString& file : files)
            timed(renderer, file, cold);
        cold.worst_gap_ms = watch.stop();
        watch.start();
        for (const QString& file : files)
            timed(renderer, file, cached);
        cached.worst_gap_ms = watch.stop();
        stop_clock.start();
    }
    if (stop_clock.isValid())
        stop_ms = stop_clock.elapsed();

    // Resident office started by prepare() while the user is still choosing a file.
    Scenario prepared{"resident, prepare() ahead", {}, 0, 0};
    if (only.contains(QStringLiteral("prepared"))) {
        LibreOfficePreviewRenderer renderer(options_for(LibreOfficeMode::Resident));
        watch.start();
        renderer.prepare();
        idle(parser.value(idle_option).toInt() * 1000);
        for (const QString& file : files)
            timed(renderer, file, prepared);
        prepared.worst_gap_ms = watch.stop();
    }

    // One LibreOffice per request, profile kept for the renderer's life.
    Scenario one_shot{"one-shot, profile kept", {}, 0, 0};
    if (only.contains(QStringLiteral("one-shot"))) {
        LibreOfficePreviewRenderer renderer(options_for(LibreOfficeMode::OneShot));
        watch.start();
        for (const QString& file : files)
            timed(renderer, file, one_shot);
        one_shot.worst_gap_ms = watch.stop();
    }

    // One LibreOffice per request with a new profile each time.
    Scenario fresh{"one-shot, fresh profile each", {}, 0, 0};
    if (only.contains(QStringLiteral("fresh"))) {
        watch.start();
        for (const QString& file : files) {
            LibreOfficePreviewRenderer renderer(options_for(LibreOfficeMode::OneShot));
            timed(renderer, file, fresh);
        }
        fresh.worst_gap_ms = watch.stop();
    }

    // A time limit shorter than the office's start: the request is given up, the office killed
    // and its profile removed. Figures for the failure path.
    qint64 timeout_ms = -1;
    qint64 timeout_gap_ms = -1;
    if (only.contains(QStringLiteral("timeout"))) {
        LibreOfficeOptions options = options_for(LibreOfficeMode::Resident);
        options.time_limit = std::chrono::milliseconds(1500);
        LibreOfficePreviewRenderer renderer(options);
        watch.start();
        QElapsedTimer clock;
        clock.start();
        const PreviewResult result = renderer.render(files.first(), pane);
        timeout_ms = clock.elapsed();
        timeout_gap_ms = watch.stop();
        if (result.error != PreviewError::TimedOut)
            std::fprintf(stderr, "expected a time-out, got: %s\n", qPrintable(result.message));
    }

    std::printf("\n");
    for (const auto& [scenario, skip_first] :
         {std::pair{&cold, true}, std::pair{&cached, false}, std::pair{&prepared, false},
          std::pair{&one_shot, true}, std::pair{&fresh, false}}) {
        if (!scenario->ms.empty())
            report(*scenario, skip_first);
    }
    if (timeout_ms >= 0)
        std::printf("time-out after 1.5 s limit: returned after %lld ms, longest stall %lld ms\n",
                    static_cast<long long>(timeout_ms), static_cast<long long>(timeout_gap_ms));
    if (stop_ms >= 0)
        std::printf("stopping the resident office (renderer destructor): %lld ms\n",
                    static_cast<long long>(stop_ms));
    const int failures =
        cold.failures + cached.failures + prepared.failures + one_shot.failures + fresh.failures;
    return failures == 0 ? 0 : 1;
}
