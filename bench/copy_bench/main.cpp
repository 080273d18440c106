// SPDX-License-Identifier: GPL-3.0-or-later
// Copies 1,000 small files and one large file through the shell layer, as one copy command
// does (each file a request, one sync at the end), and the same files with `cp -p` followed
// by `sync`, in the same run on the same file system. Then, with --bulk N, sends N small
// files to the trash beside `gio trash`, moves them within the drive and to another file
// system (--other, a tmpfs by default) beside `mv`, each tool followed by `sync`. Prints the
// median seconds of each, the ratios and the load average. --load runs everything a second
// time with `stress-ng --cpu 2` competing for the processors.
//
// Usage: copy_bench [--dir FOLDER] [--other FOLDER] [--rounds N] [--small N] [--large-mib N]
//                   [--bulk N] [--only copy|bulk] [--load]
#include "backends/posix/posix_shell.h"
#include "base/native_path.h"
#include "ports/event_yield.h"
#include "ports/message_box.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <unistd.h>
#include <vector>

using namespace pelmora;

namespace {

class AlwaysYes final : public MessageBoxes
{
public:
    MsgAnswer show(const QString&, MsgIcon, MsgButtons buttons) override
    {
        return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Yes;
    }
};

bool write_file(const QString& path, qint64 size)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(1 << 20, '\0');
    auto* rng = QRandomGenerator::global();
    while (size > 0) {
        const qint64 n = std::min<qint64>(size, chunk.size());
        rng->fillRange(reinterpret_cast<quint32*>(chunk.data()), chunk.size() / 4);
        if (f.write(chunk.constData(), n) != n)
            return false;
        size -= n;
    }
    return true;
}

// Lets events run as the window's yield does.
class EventLoopYield final : public EventYield
{
public:
    void process_pending() override { QCoreApplication::processEvents(); }
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

void run_or_die(const QString& program, const QStringList& args)
{
    if (QProcess::execute(program, args) != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        std::exit(1);
    }
}

// Seconds for the shell layer to copy files into dst as one command.
double shell_copy(const QStringList& files, const QString& dst)
{
    AlwaysYes boxes;
    PosixShell shell(boxes, nullptr);
    QElapsedTimer timer;
    timer.start();
    shell.begin_command();
    for (const QString& f : files) {
        const QString target = dst + QLatin1Char('/') + QFileInfo(f).fileName();
        if (!shell.transfer(f, target, FO_COPY)) {
            std::fprintf(stderr, "copy of %s failed\n", qPrintable(f));
            std::exit(1);
        }
    }
    if (!shell.end_command()) {
        std::fprintf(stderr, "sync failed\n");
        std::exit(1);
    }
    return double(timer.nsecsElapsed()) / 1e9;
}

// Seconds for cp -p of the same files into dst, then sync.
double cp_copy(const QStringList& files, const QString& dst)
{
    QElapsedTimer timer;
    timer.start();
    run_or_die(QStringLiteral("cp"), QStringList{QStringLiteral("-p")} + files + QStringList{dst});
    run_or_die(QStringLiteral("sync"), {});
    return double(timer.nsecsElapsed()) / 1e9;
}

double seconds_of(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e9;
}

void die(const char* what)
{
    std::fprintf(stderr, "%s failed\n", what);
    std::exit(1);
}

// count small files (1-5 KiB) in a new folder; returns their paths.
QStringList make_small_files(const QString& folder, int count)
{
    QDir().mkpath(folder);
    QStringList files;
    auto* rng = QRandomGenerator::global();
    for (int i = 0; i < count; ++i) {
        const QString p = folder + QStringLiteral("/doc%1.xls").arg(i, 5, 10, QLatin1Char('0'));
        if (!write_file(p, 1024 + rng->bounded(4 * 1024)))
            die("writing the files");
        files.append(p);
    }
    return files;
}

double shell_trash(const QStringList& files)
{
    AlwaysYes boxes;
    EventLoopYield yield;
    PosixShell shell(boxes, nullptr);
    shell.set_event_yield(&yield);
    return seconds_of([&] {
        if (shell.remove(files, false, nullptr) != 0)
            die("trash");
    });
}

double shell_move(const QStringList& files, const QString& dst)
{
    AlwaysYes boxes;
    EventLoopYield yield;
    PosixShell shell(boxes, nullptr);
    shell.set_event_yield(&yield);
    return seconds_of([&] {
        shell.begin_command();
        for (const QString& f : files) {
            yield.process_pending_in_loop();
            if (!shell.transfer(f, dst + QLatin1Char('/') + QFileInfo(f).fileName(), FO_MOVE))
                die("move");
        }
        if (!shell.end_command())
            die("sync");
    });
}

double tool(const QString& program, const QStringList& args)
{
    return seconds_of([&] {
        run_or_die(program, args);
        run_or_die(QStringLiteral("sync"), {});
    });
}

struct Bulk
{
    const char* what;
    const char* tool;
    std::vector<double> ours;
    std::vector<double> theirs;
};

// Trash, same-drive move and move to another file system of count files, ours and the
// tools', in alternating order.
void run_bulk(const QString& work, const QString& other, int count, int rounds)
{
    const QString data = work + QStringLiteral("/data");
    qputenv("XDG_DATA_HOME", QFile::encodeName(data)); // both trash below the bench folder
    QDir().mkpath(data);
    Bulk trash{"trash", "gio trash + sync", {}, {}};
    Bulk move{"same-drive move", "mv + sync", {}, {}};
    Bulk across{"move to another file system", "mv + sync", {}, {}};
    for (int r = 0; r < rounds; ++r) {
        const QString round = work + QStringLiteral("/b%1").arg(r);
        const QString away = other + QStringLiteral("/b%1").arg(r);
        const QStringList ourTrash = make_small_files(round + QStringLiteral("/t-ours"), count);
        const QStringList gioTrash = make_small_files(round + QStringLiteral("/t-gio"), count);
        const QStringList ourMove = make_small_files(round + QStringLiteral("/m-ours"), count);
        const QStringList mvMove = make_small_files(round + QStringLiteral("/m-mv"), count);
        const QStringList ourAcross = make_small_files(away + QStringLiteral("/a-ours"), count);
        const QStringList mvAcross = make_small_files(away + QStringLiteral("/a-mv"), count);
        for (const char* d : {"/m-ours-dst", "/m-mv-dst", "/a-ours-dst", "/a-mv-dst"})
            QDir().mkpath(round + QLatin1String(d));
        run_or_die(QStringLiteral("sync"), {});
        const auto ours_first = [&](bool first, const std::function<double()>& o,
                                    const std::function<double()>& t, Bulk& b) {
            if (first) {
                b.ours.push_back(o());
                b.theirs.push_back(t());
            } else {
                b.theirs.push_back(t());
                b.ours.push_back(o());
            }
        };
        const bool first = r % 2 == 0;
        ours_first(
            first, [&] { return shell_trash(ourTrash); },
            [&] {
                return tool(QStringLiteral("gio"), QStringList{QStringLiteral("trash")} + gioTrash);
            },
            trash);
        ours_first(
            first, [&] { return shell_move(ourMove, round + QStringLiteral("/m-ours-dst")); },
            [&] {
                return tool(QStringLiteral("mv"),
                            QStringList{QStringLiteral("-t"), round + QStringLiteral("/m-mv-dst")} +
                                mvMove);
            },
            move);
        ours_first(
            first, [&] { return shell_move(ourAcross, round + QStringLiteral("/a-ours-dst")); },
            [&] {
                return tool(QStringLiteral("mv"),
                            QStringList{QStringLiteral("-t"), round + QStringLiteral("/a-mv-dst")} +
                                mvAcross);
            },
            across);
        QDir(round).removeRecursively();
        QDir(away).removeRecursively();
        QDir(data + QStringLiteral("/Trash")).removeRecursively();
    }
    for (const Bulk* b : {&trash, &move, &across}) {
        const double o = median(b->ours), t = median(b->theirs);
        std::printf("%d files, %s: shell %.3f s, %s %.3f s, ratio %.2f (aim <= 1.5)\n", count,
                    b->what, o, b->tool, t, o / t);
    }
}

void print_load()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (f.open(QIODevice::ReadOnly))
        std::printf("load average: %s", f.readLine().constData());
}

bool run_all(const QString& base, const QString& other, int rounds, int small, int bulk,
             const QString& only, qint64 largeMiB)
{
    QTemporaryDir work(base + QStringLiteral("/pelmora-copy-bench-XXXXXX"));
    QTemporaryDir away(other + QStringLiteral("/pelmora-copy-bench-XXXXXX"));
    if (!work.isValid() || !away.isValid())
        return false;
    print_load();
    std::printf("folder: %s, other file system: %s, %d rounds (median seconds)\n", qPrintable(base),
                qPrintable(other), rounds);
    if (only != QLatin1String("copy"))
        run_bulk(work.path(), away.path(), bulk, rounds);
    if (only == QLatin1String("bulk")) {
        print_load();
        return true;
    }
    const QString src = work.filePath(QStringLiteral("src"));
    QDir().mkpath(src);
    QStringList smallFiles;
    auto* rng = QRandomGenerator::global();
    for (int i = 0; i < small; ++i) {
        const QString p = src + QStringLiteral("/doc%1.xls").arg(i, 4, 10, QLatin1Char('0'));
        if (!write_file(p, 2048 + rng->bounded(30 * 1024)))
            return false;
        smallFiles.append(p);
    }
    const QString large = src + QStringLiteral("/large.xls");
    if (!write_file(large, largeMiB * 1024 * 1024))
        return false;
    run_or_die(QStringLiteral("sync"), {});

    std::vector<double> shellSmall, cpSmall, shellLarge, cpLarge;
    for (int r = 0; r < rounds; ++r) {
        const QString round = work.filePath(QStringLiteral("r%1").arg(r));
        for (const char* d : {"/shell-small", "/cp-small", "/shell-large", "/cp-large"})
            QDir().mkpath(round + QLatin1String(d));
        run_or_die(QStringLiteral("sync"), {});
        // Alternate who goes first, so neither always meets the other's write-back.
        if (r % 2 == 0) {
            shellSmall.push_back(shell_copy(smallFiles, round + QStringLiteral("/shell-small")));
            cpSmall.push_back(cp_copy(smallFiles, round + QStringLiteral("/cp-small")));
            shellLarge.push_back(shell_copy({large}, round + QStringLiteral("/shell-large")));
            cpLarge.push_back(cp_copy({large}, round + QStringLiteral("/cp-large")));
        } else {
            cpSmall.push_back(cp_copy(smallFiles, round + QStringLiteral("/cp-small")));
            shellSmall.push_back(shell_copy(smallFiles, round + QStringLiteral("/shell-small")));
            cpLarge.push_back(cp_copy({large}, round + QStringLiteral("/cp-large")));
            shellLarge.push_back(shell_copy({large}, round + QStringLiteral("/shell-large")));
        }
        QDir(round).removeRecursively();
    }
    const double ss = median(shellSmall), cs = median(cpSmall);
    const double sl = median(shellLarge), cl = median(cpLarge);
    std::printf("%d small files: shell %.3f s, cp -p + sync %.3f s, ratio %.2f (aim <= 1.5)\n",
                small, ss, cs, ss / cs);
    std::printf("one %lld MiB file: shell %.3f s, cp -p + sync %.3f s, ratio %.2f (aim <= 1.2)\n",
                largeMiB, sl, cl, sl / cl);
    print_load();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as it comes, into a log too
    QString base = QDir::tempPath();
    int rounds = 3;
    QString other = QStringLiteral("/dev/shm");
    int small = 1000;
    int bulk = 10000;
    QString only;
    qint64 largeMiB = 256;
    bool load = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--load")) {
            load = true;
            continue;
        }
        if (i + 1 >= args.size())
            break;
        ++i;
        if (args[i - 1] == QLatin1String("--dir"))
            base = args[i];
        else if (args[i - 1] == QLatin1String("--rounds"))
            rounds = args[i].toInt();
        else if (args[i - 1] == QLatin1String("--small"))
            small = args[i].toInt();
        else if (args[i - 1] == QLatin1String("--large-mib"))
            largeMiB = args[i].toLongLong();
        else if (args[i - 1] == QLatin1String("--other"))
            other = args[i];
        else if (args[i - 1] == QLatin1String("--bulk"))
            bulk = args[i].toInt();
        else if (args[i - 1] == QLatin1String("--only"))
            only = args[i];
    }
    const auto run = [&](const char* label) {
        std::printf("== %s\n", label);
        return run_all(base, other, rounds, small, bulk, only, largeMiB);
    };
    if (!run("quiet"))
        return 1;
    if (!load)
        return 0;
    // Two busy processes beside the bench: the machine's cores taken by other work.
    QProcess stress;
    stress.start(QStringLiteral("stress-ng"), {QStringLiteral("--cpu"), QStringLiteral("2")});
    if (!stress.waitForStarted())
        die("stress-ng");
    QThread::sleep(2);
    const bool ok = run("with stress-ng --cpu 2");
    stress.terminate();
    stress.waitForFinished();
    return ok ? 0 : 1;
}
