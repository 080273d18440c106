// SPDX-License-Identifier: GPL-3.0-or-later
// Compresses each benchmark corpus with our archiver, jlha (-lh5- and the
// -lh0- store), gzip -6, gzip -9 and xz -6, and prints sizes, ratios and
// speeds side by side. Archive sizes include every header. Corpora of several
// files are also archived on one thread, to show what the worker threads
// bring and that the bytes do not change. Goals, checked per corpus: smaller
// than jlha -lh5-, never larger than jlha's store on incompressible data, and
// at least twice jlha's speed. Then each of our archives goes through five
// independent readers (test mode where the reader has a trustworthy one,
// extraction compared byte for byte), printed as a reader matrix.
//   lzh_bench [runs]     runs per tool and corpus, the fastest counts (default 3)
#include "corpus.h"
#include "lzh/archive_update.h"
#include "lzh/source_files.h"
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
#include <thread>

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

// Keeps the faster of two timings of the same tool; a failed run (no bytes)
// spoils the figure.
void keepFaster(Figure& kept, int run, const Figure& now)
{
    if (run == 0 || now.bytes < 0 || (kept.bytes >= 0 && now.seconds < kept.seconds))
        kept = now;
    else if (kept.bytes >= 0)
        kept.bytes = now.bytes;
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

// The same archive through the library on a fixed number of threads.
double runOursOn(unsigned threads, const QString& archive, const QStringList& paths)
{
    QList<QByteArray> entries;
    for (const QString& p : paths)
        entries << QFile::encodeName(p);
    QElapsedTimer t;
    t.start();
    const SourceList sources = collect_sources(entries, QByteArray("\\"));
    if (sources.status != SourceList::Status::Ok)
        return -1;
    const UpdateOutcome o = update_archive(QFile::encodeName(archive), sources.files, threads);
    const double s = static_cast<double>(t.nsecsElapsed()) / 1e9;
    if (o.result != UnlhaResult::Ok) {
        std::printf("update_archive failed: %s\n", qPrintable(o.detail));
        return -1;
    }
    return s;
}

// An independent reader: how it tests an archive and how it extracts one into
// the working folder. jlha's test passes damaged data, so it only extracts.
struct ReaderRun
{
    const char* name;
    const char* tester;
    QStringList test;
    const char* extractor;
    QStringList extract;
};

const ReaderRun kReaders[] = {
    {"lhasa", "lhasa", {QStringLiteral("tq")}, "lhasa", {QStringLiteral("xqf")}},
    {"bsdtar", "bsdtar", {QStringLiteral("-xOf")}, "bsdtar", {QStringLiteral("-xf")}},
    {"7z", "7z", {QStringLiteral("t")}, "7z", {QStringLiteral("x"), QStringLiteral("-y")}},
    {"unar",
     "lsar",
     {QStringLiteral("-t")},
     "unar",
     {QStringLiteral("-q"), QStringLiteral("-f"), QStringLiteral("-D")}},
    {"jlha", nullptr, {}, "jlha", {QStringLiteral("xq")}}};
constexpr std::size_t kReaderCount = std::size(kReaders);

// "pass" when the reader tests the archive cleanly and extracts every file
// with its bytes, "FAIL" otherwise, "n/a" when it is not installed.
const char* readerVerdict(const ReaderRun& r, const QString& archive,
                          const std::vector<std::pair<QString, QByteArray>>& files,
                          const QString& scratch)
{
    const QString extractor = QStandardPaths::findExecutable(QString::fromLatin1(r.extractor));
    const QString tester =
        r.tester ? QStandardPaths::findExecutable(QString::fromLatin1(r.tester)) : QString();
    if (extractor.isEmpty() || (r.tester && tester.isEmpty()))
        return "n/a";
    QDir(scratch).removeRecursively();
    QDir().mkpath(scratch);
    const auto verdict = [&]() {
        if (r.tester && runTool(tester, r.test + QStringList{archive}, scratch) < 0)
            return "FAIL";
        if (runTool(extractor, r.extract + QStringList{archive}, scratch) < 0)
            return "FAIL";
        for (const auto& [path, bytes] : files) {
            QFile f(scratch + path);
            if (!f.open(QIODevice::ReadOnly) || f.readAll() != bytes)
                return "FAIL";
        }
        return "pass";
    }();
    QDir(scratch).removeRecursively();
    return verdict;
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
        Figure oneThread;       // several files only
        bool sameBytes = false; // one thread wrote what the default run wrote
        std::array<const char*, kReaderCount> readers{};
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
        // Ours and jlha -lh5- take turns, so that a spell of load on the
        // machine falls on both and not on one tool's runs only.
        const QString oursPath = dir + QStringLiteral("/ours.lzh");
        const QString onePath = dir + QStringLiteral("/ours1.lzh");
        const QString jlhaPath = dir + QStringLiteral("/jlha5.lzh");
        for (int i = 0; i < runs; ++i) {
            keepFaster(row.ours, i,
                       best(1, oursPath, [&] { return runOurs(oursPath, list, paths); }));
            if (row.files > 1)
                keepFaster(row.oneThread, i,
                           best(1, onePath, [&] { return runOursOn(1, onePath, paths); }));
            if (!jlha.isEmpty())
                keepFaster(row.jlha5, i, best(1, jlhaPath, [&] {
                               return runTool(
                                   jlha, QStringList{QStringLiteral("co5q"), jlhaPath} + relative,
                                   QStringLiteral("/"));
                           }));
        }
        if (row.files > 1) {
            QFile a(oursPath);
            QFile b(onePath);
            row.sameBytes = a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly) &&
                            a.readAll() == b.readAll();
        }
        if (!jlha.isEmpty()) {
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
        std::vector<std::pair<QString, QByteArray>> expected;
        for (std::size_t i = 0; i < corpus.files.size(); ++i)
            expected.emplace_back(paths[static_cast<qsizetype>(i)], corpus.files[i].data);
        for (std::size_t r = 0; r < kReaderCount; ++r)
            row.readers[r] =
                readerVerdict(kReaders[r], oursPath, expected, dir + QStringLiteral("/readers"));
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
    for (const Row& r : rows) {
        const double sr =
            r.jlha5.bytes > 0 && r.ours.seconds > 0 ? r.jlha5.seconds / r.ours.seconds : 0;
        std::printf("%-11s | %s %s %9.2f | %s %s %s\n", qPrintable(r.name),
                    speed(r.ours, r.input).c_str(), speed(r.jlha5, r.input).c_str(), sr,
                    speed(r.gz6, r.input).c_str(), speed(r.gz9, r.input).c_str(),
                    speed(r.xz6, r.input).c_str());
    }

    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::printf("\nseveral files: one thread against one per core (%u), MB/s of input\n", cores);
    std::printf("%-11s %5s | %8s %8s %8s | %s\n", "corpus", "files", "1 thread", "per core",
                "speed-up", "same bytes");
    for (const Row& r : rows) {
        if (r.files < 2)
            continue;
        std::printf("%-11s %5d | %s %s %7.2fx | %s\n", qPrintable(r.name), r.files,
                    speed(r.oneThread, r.input).c_str(), speed(r.ours, r.input).c_str(),
                    r.ours.seconds > 0 ? r.oneThread.seconds / r.ours.seconds : 0,
                    r.sameBytes ? "yes" : "NO");
    }

    std::printf("\nreader matrix: our archive of each corpus, tested and extracted byte for "
                "byte\n%-11s",
                "corpus");
    for (const ReaderRun& r : kReaders)
        std::printf(" %7s", r.name);
    std::printf("\n");
    for (const Row& r : rows) {
        std::printf("%-11s", qPrintable(r.name));
        for (const char* verdict : r.readers)
            std::printf(" %7s", verdict);
        std::printf("\n");
    }

    if (jlha.isEmpty()) {
        std::printf("jlha not installed: goals not checked\n");
        return 0;
    }
    qint64 allInput = 0;
    double allOurs = 0, allJlha = 0;
    QStringList missed;
    std::printf("\ngoals: size vs jlha -lh5- < 1; vs -lh0- <= 1 where incompressible; speed vs "
                "jlha >= 2x\n");
    for (const Row& r : rows) {
        if (r.ours.bytes < 0 || r.jlha5.bytes <= 0) {
            std::printf("%-11s not measured\n", qPrintable(r.name));
            missed << r.name + QStringLiteral(" (not measured)");
            continue;
        }
        const double size = static_cast<double>(r.ours.bytes) / r.jlha5.bytes;
        const bool smaller = r.ours.bytes < r.jlha5.bytes;
        const double sr = r.ours.seconds > 0 ? r.jlha5.seconds / r.ours.seconds : 0;
        const bool fast = sr >= 2.0;
        std::printf("%-11s size %.6f (%+lld bytes) %s", qPrintable(r.name), size,
                    static_cast<long long>(r.ours.bytes - r.jlha5.bytes),
                    smaller ? "met   " : "MISSED");
        if (!smaller)
            missed << r.name + QStringLiteral(" size");
        if (r.incompressible) {
            const bool stored = r.jlha0.bytes >= 0 && r.ours.bytes <= r.jlha0.bytes;
            std::printf(" | store %.6f %s",
                        r.jlha0.bytes > 0 ? static_cast<double>(r.ours.bytes) / r.jlha0.bytes : 0,
                        stored ? "met   " : "MISSED");
            if (!stored)
                missed << r.name + QStringLiteral(" store");
        }
        std::printf(" | speed %.2fx %s\n", sr, fast ? "met" : "MISSED");
        if (!fast)
            missed << r.name + QStringLiteral(" speed");
        allInput += r.input;
        allOurs += r.ours.seconds;
        allJlha += r.jlha5.seconds;
    }
    std::printf("\nall corpora: ours %.1f MB/s, jlha %.1f MB/s (%.2fx)\n", mbps(allInput, allOurs),
                mbps(allInput, allJlha), allOurs > 0 ? allJlha / allOurs : 0);
    if (missed.isEmpty())
        std::printf("all goals met\n");
    else
        std::printf("goals missed: %s\n", qPrintable(missed.join(QStringLiteral(", "))));
    return 0;
}
