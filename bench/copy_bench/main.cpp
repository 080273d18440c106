// SPDX-License-Identifier: GPL-3.0-or-later
// Copies 1,000 small files and one large file through the shell layer, as one copy command
// does (each file a request, one sync at the end), and the same files with `cp -p` followed
// by `sync`, in the same run on the same file system. Prints the median seconds of each and
// the ratios.
//
// Usage: copy_bench [--dir FOLDER] [--rounds N] [--small N] [--large-mib N]
#include "backends/posix/posix_shell.h"
#include "base/native_path.h"
#include "ports/message_box.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
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
        if (!shell.transfer(f, target, FO_COPY, 0)) {
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString base = QDir::tempPath();
    int rounds = 3;
    int small = 1000;
    qint64 largeMiB = 256;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--dir"))
            base = args[i + 1];
        else if (args[i] == QLatin1String("--rounds"))
            rounds = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--small"))
            small = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--large-mib"))
            largeMiB = args[i + 1].toLongLong();
    }
    QTemporaryDir work(base + QStringLiteral("/pelmora-copy-bench-XXXXXX"));
    if (!work.isValid())
        return 1;
    const QString src = work.filePath(QStringLiteral("src"));
    QDir().mkpath(src);
    QStringList smallFiles;
    auto* rng = QRandomGenerator::global();
    for (int i = 0; i < small; ++i) {
        const QString p = src + QStringLiteral("/doc%1.xls").arg(i, 4, 10, QLatin1Char('0'));
        if (!write_file(p, 2048 + rng->bounded(30 * 1024)))
            return 1;
        smallFiles.append(p);
    }
    const QString large = src + QStringLiteral("/large.xls");
    if (!write_file(large, largeMiB * 1024 * 1024))
        return 1;
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
    std::printf("folder: %s, %d rounds (median seconds)\n", qPrintable(base), rounds);
    std::printf("%d small files: shell %.3f s, cp -p + sync %.3f s, ratio %.2f (aim <= 2.0)\n",
                small, ss, cs, ss / cs);
    std::printf("one %lld MiB file: shell %.3f s, cp -p + sync %.3f s, ratio %.2f (aim <= 1.2)\n",
                largeMiB, sl, cl, sl / cl);
    return 0;
}
