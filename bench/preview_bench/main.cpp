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
    const QCommandLineOption save_option(QStringLiteral("save"),
                                         QStringLiteral("Write the pictures as PNG into DIR."),
                                         QStringLiteral("DIR"));
    parser.addOptions({workbooks_option, documents_option, pane_option, idle_option, save_option});
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
    std::printf("%s; %lld files (%lld .xls, %lld .doc), pane %dx%d\n",
                qPrintable(soffice), qlonglong(files.size()), qlonglong(csvs.size()),
                qlonglong(rtfs.size()), pane.width(), pane.height());

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
    {
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
    const qint64 stop_ms = stop_clock.elapsed();

    // Resident office started by prepare() while the user is still choosing a file.
    Scenario prepared{"resident, prepare() ahead", {}, 0, 0};
    {
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
    {
        LibreOfficePreviewRenderer renderer(options_for(LibreOfficeMode::OneShot));
        watch.start();
        for (const QString& file : files)
            timed(renderer, file, one_shot);
        one_shot.worst_gap_ms = watch.stop();
    }

    // One LibreOffice per request with a new profile each time.
    Scenario fresh{"one-shot, fresh profile each", {}, 0, 0};
    watch.start();
    for (const QString& file : files) {
        LibreOfficePreviewRenderer renderer(options_for(LibreOfficeMode::OneShot));
        timed(renderer, file, fresh);
    }
    fresh.worst_gap_ms = watch.stop();

    std::printf("\n");
    report(cold, true);
    report(cached, false);
    report(prepared, false);
    report(one_shot, true);
    report(fresh, false);
    std::printf("stopping the resident office (renderer destructor): %lld ms\n",
                static_cast<long long>(stop_ms));
    const int failures =
        cold.failures + cached.failures + prepared.failures + one_shot.failures + fresh.failures;
    return failures == 0 ? 0 : 1;
}
