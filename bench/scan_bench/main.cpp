// Scan benchmark: walks a folder through the same code the window uses (walker, hits to the
// cache and the grid rows, sort by folder) and prints its figures; or writes a test tree.
//   scan_bench --root DIR --type XLS|DOC [--list]
//   scan_bench --make-tree DIR [--files N]
#include "app/session/session.h"
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_view.h"
#include "catalogue/result_table_model.h"
#include "make_tree.h"
#include "platform/posix_folder_enumerator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <cstdio>
#include <fstream>
#include <unistd.h>

using namespace pelmora;

namespace {

long rss_bytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

void wait_for(Catalogue& c)
{
    if (!c.scanning())
        return;
    QEventLoop loop;
    QObject::connect(&c, &Catalogue::listing_finished, &loop, &QEventLoop::quit);
    loop.exec();
}

int usage()
{
    std::fprintf(stderr, "usage: scan_bench --root DIR --type XLS|DOC [--list]\n"
                         "       scan_bench --make-tree DIR [--files N]\n");
    return 2;
}

QString as_root(QString dir)
{
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

// Fills a cache key with synthetic hits, as a scan would, then shows it as a cached list.
void cached_list_figures(long hits)
{
    QRV_Public session;
    ResultTableModel grid;
    SilentCatalogueView view;
    PosixFolderEnumeratorFactory folders;
    Catalogue catalogue(session, grid, folders, view);
    const QString root = QStringLiteral("/synthetic-cache-root/");
    const long before = rss_bytes();
    std::vector<Hit> batch;
    QStringList dirNames;
    for (int d = 0; d < 1000; ++d)
        dirNames.append(QStringLiteral("/home/user/documents/project%1/sheets/")
                            .arg(d, 4, 10, QLatin1Char('0')));
    session.list_key = list_key(root, session.doc_type);
    for (long i = 0; i < hits; ++i) {
        const QString& dir = dirNames[int(i % 1000)];
        session.cache.append(session.list_key,
                             QStringLiteral("report%1.xls").arg(i, 7, 10, QLatin1Char('0')), dir);
    }
    QElapsedTimer t;
    t.start();
    catalogue.list_drive(root); // cached: no file-system access
    const double showSeconds = double(t.nsecsElapsed()) / 1e9;
    const long after = rss_bytes();
    std::printf("cached_list_hits %ld\ncached_list_show_seconds %.4f\n", hits, showSeconds);
    std::printf("bytes_per_cached_hit %.1f (cache and grid rows, target <= 300)\n",
                double(after - before) / double(hits));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    auto value = [&](const QString& opt) {
        const auto i = args.indexOf(opt);
        return (i >= 0 && i + 1 < args.size()) ? args[i + 1] : QString();
    };

    if (const QString dir = value(QStringLiteral("--make-tree")); !dir.isEmpty()) {
        const QString n = value(QStringLiteral("--files"));
        const long files = n.isEmpty() ? 200000 : n.toLong();
        const bench::TreeStats s = bench::make_tree(dir.toStdString(), files);
        std::printf("files %ld\nfolders %ld\nexpected_xls %ld\nexpected_doc %ld\n", s.files,
                    s.folders, s.excel, s.word);
        return 0;
    }

    const QString rootArg = value(QStringLiteral("--root"));
    const QString type = value(QStringLiteral("--type")).toUpper();
    if (rootArg.isEmpty() || (type != QLatin1String("XLS") && type != QLatin1String("DOC")))
        return usage();
    const QString root = as_root(rootArg);

    QRV_Public session;
    session.doc_type = type == QLatin1String("XLS") ? DocType::excel() : DocType::word();
    ResultTableModel grid;
    SilentCatalogueView view;
    PosixFolderEnumeratorFactory folders;
    Catalogue catalogue(session, grid, folders, view);
    catalogue.set_suffix_filter(type);

    const long rssBefore = rss_bytes();
    QElapsedTimer timer;
    timer.start();
    catalogue.list_drive(root);
    wait_for(catalogue);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const long rssAfter = rss_bytes();

    if (args.contains(QStringLiteral("--list"))) {
        for (qsizetype i = 0; i < grid.size(); ++i)
            std::printf("%s\n", (grid.text(i, 1) + grid.text(i, 0)).toUtf8().constData());
        return 0;
    }
    const double hits = double(grid.size());
    std::printf("hits %lld\nseconds %.4f\nhits_per_second %.0f\n",
                static_cast<long long>(grid.size()), seconds, seconds > 0 ? hits / seconds : 0.0);
    if (grid.size() > 0)
        std::printf("scan_rss_growth_per_hit %.1f (includes the scan thread and folder buffers)\n",
                    double(rssAfter - rssBefore) / hits);

    // The same list again, now from the cache.
    timer.restart();
    catalogue.list_drive(QStringLiteral("/nonexistent-other-root/"));
    wait_for(catalogue);
    timer.restart();
    catalogue.list_drive(root);
    std::printf("cached_show_seconds %.4f (%lld hits)\n", double(timer.nsecsElapsed()) / 1e9,
                static_cast<long long>(grid.size()));
    cached_list_figures(100000);
    return 0;
}
