// Compresses each benchmark corpus with our archiver, jlha (-lh5- and the
// -lh0- store), gzip -6, gzip -9 and xz -6, and prints sizes, ratios and
// speeds side by side. Archive sizes include every header. Goals: smaller
// than jlha -lh5- on every corpus, never larger than jlha's store on
// incompressible data, and at least twice jlha's speed.
//   lzh_bench [runs]     runs per tool and corpus, the fastest counts (default 3)
#include "corpus.h"
#include "lzh/unlha.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <array>
#include <cstdio>

using namespace pelmora;

namespace {

struct Figure
{
    qint64 bytes = -1; // output size; -1 when the tool did not run
    double seconds = 0;
};

double mbps(qint64 bytes, double s)
{
    return s > 0 ? static_cast<double>(bytes) / 1e6 / s : 0;
}

// Runs `program` and returns its wall time, or -1 when it failed.
double runTool(const QString& program, const QStringList& args, const QString& dir,
               const QString& stdoutFile = {})
{
    QProcess p;
    p.setWorkingDirectory(dir);
    if (!stdoutFile.isEmpty())
        p.setStandardOutputFile(stdoutFile);
    else
        p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        return -1;
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

// The best of `runs` timings; the output of the last run stays.
template <typename Run> Figure best(int runs, const QString& output, Run&& run)
{
    Figure f;
    for (int i = 0; i < runs; ++i) {
        QFile::remove(output);
        const double s = run();
        if (s < 0)
            return {};
        if (i == 0 || s < f.seconds)
            f.seconds = s;
    }
    f.bytes = QFileInfo(output).size();
    return f;
}

double runOurs(const QString& archive, const QString& listFile, const QStringList& paths)
{
    QFile list(listFile);
    if (!list.open(QIODevice::WriteOnly))
        return -1;
    for (const QString& p : paths)
        list.write(QFile::encodeName(p) + "\r\n");
    list.write("\r\n");
    list.close();
    const QByteArray cmd = "u -a1 -r2 -l1 -jp1 -o2 " + QFile::encodeName(archive) + " \\ @" +
                           QFile::encodeName(listFile) + " ";
    std::array<char, 1024> out{};
    QElapsedTimer t;
    t.start();
    const int rc = Unlha(0, cmd.constData(), out.data(), out.size());
    const double s = static_cast<double>(t.nsecsElapsed()) / 1e9;
    if (rc != 0) {
        std::printf("Unlha failed (%d): %s\n", rc, out.data());
        return -1;
    }
    return s;
}

std::string cell(const Figure& f)
{
    std::array<char, 32> buf{};
    if (f.bytes < 0)
        std::snprintf(buf.data(), buf.size(), "%10s", "n/a");
    else
        std::snprintf(buf.data(), buf.size(), "%10lld", static_cast<long long>(f.bytes));
    return buf.data();
}

std::string speed(const Figure& f, qint64 input)
{
    std::array<char, 32> buf{};
    if (f.bytes < 0)
        std::snprintf(buf.data(), buf.size(), "%8s", "n/a");
    else
        std::snprintf(buf.data(), buf.size(), "%8.1f", mbps(input, f.seconds));
    return buf.data();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 3;
    QTemporaryDir tmp;
    if (!tmp.isValid())
        return 1;
    const QString jlha = QStandardPaths::findExecutable(QStringLiteral("jlha"));
    const QString gzip = QStandardPaths::findExecutable(QStringLiteral("gzip"));
    const QString xz = QStandardPaths::findExecutable(QStringLiteral("xz"));
    const QString sh = QStandardPaths::findExecutable(QStringLiteral("sh"));

    struct Row
    {
        QString name;
        qint64 input = 0;
        int files = 0;
        bool incompressible = false;
        Figure ours, jlha5, jlha0, gz6, gz9, xz6;
    };
    std::vector<Row> rows;
    for (const bench::Corpus& corpus : bench::makeCorpora(QStringLiteral(PELMORA_SOURCE_DIR))) {
        const QString dir = tmp.path() + u'/' + corpus.name;
        QStringList paths;
        QStringList relative; // the same files relative to "/", so jlha stores the same names
        Row row;
        row.name = corpus.name;
        row.files = static_cast<int>(corpus.files.size());
        row.incompressible = corpus.incompressible;
        for (const bench::CorpusFile& f : corpus.files) {
            const QString path = dir + QStringLiteral("/in/") + f.name;
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile out(path);
            if (!out.open(QIODevice::WriteOnly) || out.write(f.data) != f.data.size())
                return 1;
            paths << path;
            relative << path.mid(1);
            row.input += f.data.size();
        }
        const QString list = dir + QStringLiteral("/0LIST.TMP");
        row.ours = best(runs, dir + QStringLiteral("/ours.lzh"),
                        [&] { return runOurs(dir + QStringLiteral("/ours.lzh"), list, paths); });
        if (!jlha.isEmpty()) {
            row.jlha5 = best(runs, dir + QStringLiteral("/jlha5.lzh"), [&] {
                return runTool(
                    jlha,
                    QStringList{QStringLiteral("co5q"), dir + QStringLiteral("/jlha5.lzh")} +
                        relative,
                    QStringLiteral("/"));
            });
            row.jlha0 = best(1, dir + QStringLiteral("/jlha0.lzh"), [&] {
                return runTool(
                    jlha,
                    QStringList{QStringLiteral("czq"), dir + QStringLiteral("/jlha0.lzh")} +
                        relative,
                    QStringLiteral("/"));
            });
        }
        // The stream compressors get the files one after the other on stdin.
        auto stream = [&](const QString& program, const QString& level, const QString& out) {
            return best(runs, out, [&] {
                return runTool(
                    sh,
                    QStringList{QStringLiteral("-c"),
                                QStringLiteral("cat \"$@\" | %1 %2 -c").arg(program, level),
                                QStringLiteral("sh")} +
                        paths,
                    dir, out);
            });
        };
        if (!gzip.isEmpty()) {
            row.gz6 = stream(gzip, QStringLiteral("-6"), dir + QStringLiteral("/all.gz6"));
            row.gz9 = stream(gzip, QStringLiteral("-9"), dir + QStringLiteral("/all.gz9"));
        }
        if (!xz.isEmpty())
            row.xz6 = stream(xz, QStringLiteral("-6"), dir + QStringLiteral("/all.xz"));
        rows.push_back(row);
        QDir(dir).removeRecursively();
    }

    std::printf("sizes in bytes, headers included (best of %d runs for the timings)\n", runs);
    std::printf("%-11s %5s %10s | %10s %10s %9s | %10s | %10s %10s %10s\n", "corpus", "files",
                "input", "ours", "jlha-lh5", "ours/jlha", "jlha-lh0", "gzip-6", "gzip-9", "xz-6");
    for (const Row& r : rows) {
        const double ratio =
            r.jlha5.bytes > 0 ? static_cast<double>(r.ours.bytes) / r.jlha5.bytes : 0;
        std::printf("%-11s %5d %10lld | %s %s %9.4f | %s | %s %s %s\n", qPrintable(r.name), r.files,
                    static_cast<long long>(r.input), cell(r.ours).c_str(), cell(r.jlha5).c_str(),
                    ratio, cell(r.jlha0).c_str(), cell(r.gz6).c_str(), cell(r.gz9).c_str(),
                    cell(r.xz6).c_str());
    }
    std::printf("\nspeed in MB/s of input\n");
    std::printf("%-11s | %8s %8s %9s | %8s %8s %8s\n", "corpus", "ours", "jlha-lh5", "ours/jlha",
                "gzip-6", "gzip-9", "xz-6");
    bool smaller = true, stored = true, faster = true;
    qint64 allInput = 0;
    double allOurs = 0, allJlha = 0;
    for (const Row& r : rows) {
        const double sr =
            r.jlha5.bytes > 0 && r.ours.seconds > 0 ? r.jlha5.seconds / r.ours.seconds : 0;
        std::printf("%-11s | %s %s %9.2f | %s %s %s\n", qPrintable(r.name),
                    speed(r.ours, r.input).c_str(), speed(r.jlha5, r.input).c_str(), sr,
                    speed(r.gz6, r.input).c_str(), speed(r.gz9, r.input).c_str(),
                    speed(r.xz6, r.input).c_str());
        if (r.jlha5.bytes >= 0) {
            // Where both store, the archives can only be equal.
            smaller = smaller && (r.ours.bytes < r.jlha5.bytes ||
                                  (r.incompressible && r.ours.bytes <= r.jlha5.bytes));
            faster = faster && sr >= 2.0;
            allInput += r.input;
            allOurs += r.ours.seconds;
            allJlha += r.jlha5.seconds;
        }
        if (r.incompressible && r.jlha0.bytes >= 0)
            stored = stored && r.ours.bytes <= r.jlha0.bytes;
    }
    if (jlha.isEmpty()) {
        std::printf("jlha not installed: goals not checked\n");
        return 0;
    }
    std::printf("\nall corpora: ours %.1f MB/s, jlha %.1f MB/s (%.2fx)\n", mbps(allInput, allOurs),
                mbps(allInput, allJlha), allJlha / allOurs);
    std::printf("goal smaller than jlha -lh5- (equal where both store): %s\n",
                smaller ? "met" : "MISSED");
    std::printf("goal never larger than jlha -lh0- on incompressible:   %s\n",
                stored ? "met" : "MISSED");
    std::printf("goal at least 2x jlha's speed on every corpus:         %s\n",
                faster ? "met" : "MISSED");
    return 0;
}
