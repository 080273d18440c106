// SPDX-License-Identifier: GPL-3.0-or-later
// Scan benchmark: walks a folder through the same code the window uses (walker with its
// read-ahead, hits to the cache and the grid rows, sort) and prints its figures; lists the
// exact bytes of every hit; or writes a tree.
//   scan_bench --root DIR --type XLS|DOC [--list] [--readers N]
//   scan_bench --make-tree DIR [--files N]
#include "backends/posix/posix_folder_enumerator.h"
#include "base/native_path.h"
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_view.h"
#include "catalogue/folder_walker.h"
#include "catalogue/result_table_model.h"
#include "catalogue/scan_job.h"
#include "make_tree.h"
#include "session/session.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <cstdio>
#include <cstring>
#include <string>

using namespace pelmora;

namespace {

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
    std::fprintf(stderr, "usage: scan_bench --root DIR --type XLS|DOC [--list] [--readers N]\n"
                         "       scan_bench --make-tree DIR [--files N]\n");
    return 2;
}

// The walk alone, as the scan thread runs it, with hits counted: no batches, no grid.
struct CountingSink final : WalkSink
{
    void folder_started(const std::string&) override {}
    void folder_ended() override {}
    void add_hit(std::string_view, const std::string&) override { ++hits; }
    long hits = 0;
};

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

    // The root as given on the command line, byte for byte.
    std::string rootBytes;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--root") == 0)
            rootBytes = argv[i + 1];
    }
    const QString type = value(QStringLiteral("--type")).toUpper();
    if (rootBytes.empty() || (type != QLatin1String("XLS") && type != QLatin1String("DOC")))
        return usage();
    if (rootBytes.back() != '/')
        rootBytes.push_back('/');
    const QString root = native_path::from_native(rootBytes);
    const QString readersText = value(QStringLiteral("--readers"));

    if (!readersText.isEmpty()) {
        // Walk only, with the given number of reader threads: for comparing pool sizes.
        PosixFolderEnumerator e(rootBytes);
        CountingSink sink;
        QElapsedTimer t;
        t.start();
        FolderWalker walker(e, type, sink, nullptr, readersText.toInt());
        walker.walk_folder(rootBytes);
        std::printf("walk_readers %d\nmost_at_work %d\nhits %ld\nseconds %.4f\n",
                    readersText.toInt(), walker.most_readers(), sink.hits,
                    double(t.nsecsElapsed()) / 1e9);
        return 0;
    }

    QRV_Public session;
    session.doc_type = type == QLatin1String("XLS") ? DocType::excel() : DocType::word();
    ResultTableModel grid;
    SilentCatalogueView view;
    PosixFolderEnumeratorFactory folders;
    Catalogue catalogue(session, grid, folders, view, view);
    catalogue.set_suffix_filter(type);

    QElapsedTimer timer;
    timer.start();
    catalogue.list_drive(Path(root));
    wait_for(catalogue);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;

    if (args.contains(QStringLiteral("--list"))) {
        // The exact bytes of every hit, one per line, in the grid's order.
        std::string out;
        for (qsizetype i = 0; i < grid.size(); ++i) {
            out += native_path::to_native(grid.text(i, 1) + grid.text(i, 0)).toStdString();
            out += '\n';
            if (out.size() > (1 << 20)) {
                std::fwrite(out.data(), 1, out.size(), stdout);
                out.clear();
            }
        }
        std::fwrite(out.data(), 1, out.size(), stdout);
        return 0;
    }
    const double hits = double(grid.size());
    std::printf("hits %lld\nseconds %.4f\nhits_per_second %.0f\n",
                static_cast<long long>(grid.size()), seconds, seconds > 0 ? hits / seconds : 0.0);

    // The same list again, now from the cache.
    catalogue.list_drive(Path(QStringLiteral("/nonexistent-other-root/")));
    wait_for(catalogue);
    timer.restart();
    catalogue.list_drive(Path(root));
    wait_for(catalogue);
    std::printf("cached_show_seconds %.4f (%lld hits)\n", double(timer.nsecsElapsed()) / 1e9,
                static_cast<long long>(grid.size()));
    std::printf("(memory per hit and the largest stall: million_bench, a process of its "
                "own)\n");
    return 0;
}
