// SPDX-License-Identifier: GPL-3.0-or-later
// Copies 1,000 small files and one large file through the shell layer, as one copy command
// does (each file a request, one sync at the end), the small files again through the copy
// command itself (marks, history rows, undo journal, event yields, as the window runs it),
// and the same files with `cp -p` followed by `sync`, in the same run on the same file
// system; beside each time, the processor time it took (ours in this process, the tools' in
// their processes). Then, with --bulk N, sends N small
// files to the trash beside `gio trash`, moves them within the drive and to another file
// system (--other, a tmpfs by default) beside `mv`, each tool followed by `sync`. Prints the
// median seconds of each, the ratios and the load average. --load runs everything a second
// time with `stress-ng --cpu 2` competing for the processors.
//
// The files of every round stay until the end of their part: ext4 without a journal passes
// over inodes freed in the last minute at every file it creates, so a round started just
// after the last one's files were deleted times that scan rather than the tools.
//
// Usage: copy_bench [--dir FOLDER] [--other FOLDER] [--rounds N] [--small N] [--large-mib N]
//                   [--bulk N] [--only copy|bulk] [--load]
#include "backends/posix/posix_file_system.h"
#include "backends/posix/posix_shell.h"
#include "base/native_path.h"
#include "fileops/command_env.h"
#include "fileops/copy_move_command.h"
#include "fileops/undo_manager.h"
#include "ports/clock.h"
#include "ports/event_yield.h"
#include "ports/message_box.h"
#include "session/history_log.h"
#include "session/session.h"

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
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace pelmora;

namespace {

class AlwaysYes final : public MessageBoxes
{
public:
    MsgAnswer show(const QString& text, MsgIcon, MsgButtons buttons) override
    {
        last = text;
        return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Yes;
    }
    QString last;
};

bool write_file(const QString& path, qint64 size)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(int(std::min<qint64>(size, 1 << 20) + 3) & ~3, '\0');
    auto* rng = QRandomGenerator::global();
    while (size > 0) {
        const qint64 n = std::min<qint64>(size, chunk.size());
        rng->fillRange(reinterpret_cast<quint32*>(chunk.data()), (n + 3) / 4);
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

// Wall and processor seconds of one run.
struct Took
{
    double wall = 0;
    double cpu = 0;
};

double cpu_seconds(int who)
{
    struct rusage u
    {};
    ::getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Times work: who says whose processor time counts (this process, or the tools it runs).
Took took(int who, const std::function<void()>& work)
{
    const double cpu = cpu_seconds(who);
    QElapsedTimer timer;
    timer.start();
    work();
    return Took{double(timer.nsecsElapsed()) / 1e9, cpu_seconds(who) - cpu};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

void die(const char* what)
{
    std::fprintf(stderr, "%s failed\n", what);
    std::exit(1);
}

void run_or_die(const QString& program, const QStringList& args)
{
    if (QProcess::execute(program, args) != 0) {
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        std::exit(1);
    }
}

// The shell layer copying files into dst as one command.
Took shell_copy(const QStringList& files, const QString& dst)
{
    AlwaysYes boxes;
    PosixShell shell(boxes, nullptr);
    // The targets' names are made before the clock starts, as the command has them.
    PathList targets;
    for (const QString& f : files)
        targets.append(Path(dst + QLatin1Char('/') + QFileInfo(f).fileName()));
    return took(RUSAGE_SELF, [&] {
        shell.begin_command();
        for (qsizetype i = 0; i < files.size(); ++i) {
            if (!shell.transfer(Path(files[i]), targets[i], FO_COPY)) {
                std::fprintf(stderr, "copy of %s failed\n", qPrintable(files[i]));
                std::exit(1);
            }
        }
        if (!shell.end_command()) {
            std::fprintf(stderr, "sync failed\n");
            std::exit(1);
        }
    });
}

// A window in multiple selection that shows nothing.
class MarkedFilesView final : public MainView
{
public:
    void set_busy_pointer(bool) override {}
    void show_wait(bool) override {}
    void set_grid_redraw(bool) override {}
    void set_commands_enabled(bool) override {}
    void start_blink() override {}
    bool single_mode() const override { return false; }
};

// The copy command of the window copying the marked files into dst.
Took command_copy(const QStringList& files, const QString& dst)
{
    AlwaysYes boxes;
    EventLoopYield yield;
    SystemClock clock;
    HistoryLog history(clock);
    QRV_Public session;
    PosixShell shell(boxes, nullptr);
    shell.set_event_yield(&yield);
    PosixFileSystem fs;
    MarkedFilesView view;
    UndoManager undo(session.undo, nullptr);
    CommandEnv env{session, history, boxes, yield, view, undo};
    env.shell = &shell;
    env.files = &fs;
    session.sel_marks.clear();
    for (const QString& f : files)
        session.sel_marks.append(Path(f));
    session.sel_dir = Path(QFileInfo(files.front()).path() + QLatin1Char('/'));
    session.sel_file = Path(QFileInfo(files.front()).fileName());
    const Took t = took(RUSAGE_SELF, [&] {
        run_copy_or_move(env, TransferKind::Copy, [&] {
            session.dlg_cancel = 0;
            session.dest_dir = Path(dst + QLatin1Char('/'));
        });
    });
    if (boxes.last != QStringLiteral("ファイルは正常にコピーされました"))
        die("the copy command");
    return t;
}

// cp -p of the same files into dst, then sync.
Took cp_copy(const QStringList& files, const QString& dst)
{
    return took(RUSAGE_CHILDREN, [&] {
        run_or_die(QStringLiteral("cp"),
                   QStringList{QStringLiteral("-p")} + files + QStringList{dst});
        run_or_die(QStringLiteral("sync"), {});
    });
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

Took shell_trash(const QStringList& files)
{
    AlwaysYes boxes;
    EventLoopYield yield;
    PosixShell shell(boxes, nullptr);
    shell.set_event_yield(&yield);
    PathList paths;
    for (const QString& f : files)
        paths.append(Path(f));
    return took(RUSAGE_SELF, [&] {
        if (shell.remove(paths, false, nullptr) != 0)
            die("trash");
    });
}

Took shell_move(const QStringList& files, const QString& dst)
{
    AlwaysYes boxes;
    EventLoopYield yield;
    PosixShell shell(boxes, nullptr);
    shell.set_event_yield(&yield);
    return took(RUSAGE_SELF, [&] {
        shell.begin_command();
        for (const QString& f : files) {
            yield.process_pending_in_loop();
            if (!shell.transfer(Path(f), Path(dst + QLatin1Char('/') + QFileInfo(f).fileName()),
                                FO_MOVE))
                die("move");
        }
        if (!shell.end_command())
            die("sync");
    });
}

Took tool(const QString& program, const QStringList& args)
{
    return took(RUSAGE_CHILDREN, [&] {
        run_or_die(program, args);
        run_or_die(QStringLiteral("sync"), {});
    });
}

// The runs of one figure, ours and a tool's.
struct Figure
{
    QString what;
    QString tool;
    std::vector<Took> ours;
    std::vector<Took> theirs;
};

void print_figure(const Figure& f, double aim)
{
    std::vector<double> ow, oc, tw, tc;
    for (const Took& t : f.ours) {
        ow.push_back(t.wall);
        oc.push_back(t.cpu);
    }
    for (const Took& t : f.theirs) {
        tw.push_back(t.wall);
        tc.push_back(t.cpu);
    }
    std::printf("%s: shell %.3f s, %s %.3f s, ratio %.2f (aim <= %.1f); processor %.3f s vs "
                "%.3f s\n",
                qPrintable(f.what), median(ow), qPrintable(f.tool), median(tw),
                median(ow) / median(tw), aim, median(oc), median(tc));
}

// Runs the steps of a round, starting at step first and going round.
void in_turn(const std::vector<std::function<void()>>& steps, std::size_t first)
{
    for (std::size_t i = 0; i < steps.size(); ++i)
        steps[(first + i) % steps.size()]();
}

// Trash, same-drive move and move to another file system of count files, ours and the
// tools', in alternating order.
void run_bulk(const QString& work, const QString& other, int count, int rounds)
{
    const QString tool_mv = QStringLiteral("mv + sync");
    Figure trash{
        QStringLiteral("%1 files, trash").arg(count), QStringLiteral("gio trash + sync"), {}, {}};
    Figure move{QStringLiteral("%1 files, same-drive move").arg(count), tool_mv, {}, {}};
    Figure across{
        QStringLiteral("%1 files, move to another file system").arg(count), tool_mv, {}, {}};
    for (int r = 0; r < rounds; ++r) {
        const QString round = work + QStringLiteral("/b%1").arg(r);
        const QString away = other + QStringLiteral("/b%1").arg(r);
        // A trash of each round's own, both trash below the bench folder.
        const QString data = round + QStringLiteral("/data");
        qputenv("XDG_DATA_HOME", QFile::encodeName(data));
        QDir().mkpath(data);
        const QStringList ourTrash = make_small_files(round + QStringLiteral("/t-ours"), count);
        const QStringList gioTrash = make_small_files(round + QStringLiteral("/t-gio"), count);
        const QStringList ourMove = make_small_files(round + QStringLiteral("/m-ours"), count);
        const QStringList mvMove = make_small_files(round + QStringLiteral("/m-mv"), count);
        const QStringList ourAcross = make_small_files(away + QStringLiteral("/a-ours"), count);
        const QStringList mvAcross = make_small_files(away + QStringLiteral("/a-mv"), count);
        for (const char* d : {"/m-ours-dst", "/m-mv-dst", "/a-ours-dst", "/a-mv-dst"})
            QDir().mkpath(round + QLatin1String(d));
        run_or_die(QStringLiteral("sync"), {});
        const std::size_t first = std::size_t(r % 2);
        in_turn({[&] { trash.ours.push_back(shell_trash(ourTrash)); },
                 [&] {
                     trash.theirs.push_back(tool(QStringLiteral("gio"),
                                                 QStringList{QStringLiteral("trash")} + gioTrash));
                 }},
                first);
        in_turn(
            {[&] {
                 move.ours.push_back(shell_move(ourMove, round + QStringLiteral("/m-ours-dst")));
             },
             [&] {
                 move.theirs.push_back(
                     tool(QStringLiteral("mv"),
                          QStringList{QStringLiteral("-t"), round + QStringLiteral("/m-mv-dst")} +
                              mvMove));
             }},
            first);
        in_turn({[&] {
                     across.ours.push_back(
                         shell_move(ourAcross, round + QStringLiteral("/a-ours-dst")));
                 },
                 [&] {
                     across.theirs.push_back(tool(
                         QStringLiteral("mv"),
                         QStringList{QStringLiteral("-t"), round + QStringLiteral("/a-mv-dst")} +
                             mvAcross));
                 }},
                first);
    }
    for (const Figure* f : {&trash, &move, &across})
        print_figure(*f, 1.5);
}

void print_load()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (f.open(QIODevice::ReadOnly))
        std::printf("load average: %s", f.readLine().constData());
}

// Runs every part in work (on the bench's file system) and away (on the other one). Nothing
// is deleted before the bench ends: ext4 without a journal passes over every inode freed in
// the last minute each time it creates a file, so a part made just after a mass deletion
// would time that scan, whoever made its files.
bool run_all(const QString& work, const QString& away, int rounds, int small, int bulk,
             const QString& only, qint64 largeMiB)
{
    if (!QDir().mkpath(work) || !QDir().mkpath(away))
        return false;
    print_load();
    std::printf("folder: %s, other file system: %s, %d rounds (median seconds)\n", qPrintable(work),
                qPrintable(away), rounds);
    if (only != QLatin1String("copy"))
        run_bulk(work, away, bulk, rounds);
    if (only == QLatin1String("bulk")) {
        print_load();
        return true;
    }
    const QString src = work + QStringLiteral("/src");
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

    const QString cp = QStringLiteral("cp -p + sync");
    Figure shellSmall{QStringLiteral("%1 small files").arg(small), cp, {}, {}};
    Figure commandSmall{QStringLiteral("%1 small files, copy command").arg(small), cp, {}, {}};
    Figure shellLarge{QStringLiteral("one %1 MiB file").arg(largeMiB), cp, {}, {}};
    for (int r = 0; r < rounds; ++r) {
        const QString round = work + QStringLiteral("/r%1").arg(r);
        for (const char* d :
             {"/shell-small", "/command-small", "/cp-small", "/shell-large", "/cp-large"})
            QDir().mkpath(round + QLatin1String(d));
        run_or_die(QStringLiteral("sync"), {});
        // Go round who goes first, so none always meets another's write-back. The tool's
        // times count for both of ours.
        Took cpTook;
        in_turn({[&] {
                     shellSmall.ours.push_back(
                         shell_copy(smallFiles, round + QStringLiteral("/shell-small")));
                 },
                 [&] {
                     commandSmall.ours.push_back(
                         command_copy(smallFiles, round + QStringLiteral("/command-small")));
                 },
                 [&] { cpTook = cp_copy(smallFiles, round + QStringLiteral("/cp-small")); }},
                std::size_t(r % 3));
        shellSmall.theirs.push_back(cpTook);
        commandSmall.theirs.push_back(cpTook);
        in_turn({[&] {
                     shellLarge.ours.push_back(
                         shell_copy({large}, round + QStringLiteral("/shell-large")));
                 },
                 [&] {
                     shellLarge.theirs.push_back(
                         cp_copy({large}, round + QStringLiteral("/cp-large")));
                 }},
                std::size_t(r % 2));
    }
    print_figure(shellSmall, 1.5);
    print_figure(commandSmall, 1.5);
    print_figure(shellLarge, 1.2);
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
    const QTemporaryDir work(base + QStringLiteral("/pelmora-copy-bench-XXXXXX"));
    const QTemporaryDir away(other + QStringLiteral("/pelmora-copy-bench-XXXXXX"));
    if (!work.isValid() || !away.isValid())
        die("the bench folders");
    const auto run = [&](const char* label, const char* part) {
        std::printf("== %s\n", label);
        return run_all(work.filePath(QLatin1String(part)), away.filePath(QLatin1String(part)),
                       rounds, small, bulk, only, largeMiB);
    };
    if (!run("quiet", "quiet"))
        return 1;
    if (!load)
        return 0;
    // Two busy processes beside the bench: the machine's cores taken by other work.
    QProcess stress;
    stress.start(QStringLiteral("stress-ng"), {QStringLiteral("--cpu"), QStringLiteral("2")});
    if (!stress.waitForStarted())
        die("stress-ng");
    QThread::sleep(2);
    const bool ok = run("with stress-ng --cpu 2", "load");
    stress.terminate();
    stress.waitForFinished();
    return ok ? 0 : 1;
}
