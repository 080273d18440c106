// Compresses a fixed corpus with our archiver, jlha (-lh5-) and gzip -6 and
// prints sizes and speeds side by side. Targets: no member larger than
// jlha's, and at least jlha's speed.
#include "corpus.h"
#include "lzh/lzh_header_reader.h"
#include "lzh/unlha.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <array>
#include <cstdio>
#include <map>

using namespace pelmora;

namespace {

struct Figure
{
    qint64 bytes = -1; // compressed; -1 when the tool did not run
    double seconds = 0;
};

double mbps(qint64 bytes, double s)
{
    return s > 0 ? static_cast<double>(bytes) / 1e6 / s : 0;
}

// Member sizes (compressed data only) of an LZH archive, by stored file name.
std::map<QString, qint64> memberSizes(const QString& archive)
{
    std::map<QString, qint64> sizes;
    QFile f(archive);
    std::string why;
    if (!f.open(QIODevice::ReadOnly))
        return sizes;
    if (const auto members = readMembers(f, why))
        for (const ExistingMember& m : *members)
            sizes[QString::fromStdString(m.path).section(u'/', -1)] = m.dataSize;
    return sizes;
}

double runTool(const QString& program, const QStringList& args, const QString& dir,
               const QString& stdoutFile = {})
{
    QProcess p;
    p.setWorkingDirectory(dir);
    if (!stdoutFile.isEmpty())
        p.setStandardOutputFile(stdoutFile);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        return -1;
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

double runOurs(const QString& archive, const QString& dir, const QStringList& names)
{
    QFile::remove(archive);
    QFile list(dir + QStringLiteral("/list.tmp"));
    if (!list.open(QIODevice::WriteOnly))
        return -1;
    for (const QString& n : names)
        list.write((dir + u'/' + n).toUtf8() + "\r\n");
    list.write("\r\n");
    list.close();
    const QByteArray cmd =
        "u -a1 -r2 -l1 -jp1 -o2 " + archive.toUtf8() + " \\ @" + list.fileName().toUtf8() + " ";
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    if (!tmp.isValid())
        return 1;
    const QString dir = tmp.path();
    const auto corpus = bench::makeCorpus();
    QStringList names;
    qint64 total = 0;
    for (const auto& f : corpus) {
        QFile out(dir + u'/' + f.name);
        if (!out.open(QIODevice::WriteOnly) || out.write(f.data) != f.data.size())
            return 1;
        names << f.name;
        total += f.data.size();
    }
    const QString jlha = QStandardPaths::findExecutable(QStringLiteral("jlha"));
    const QString gzip = QStandardPaths::findExecutable(QStringLiteral("gzip"));

    std::printf("corpus: %d files, %.2f MB\n", static_cast<int>(corpus.size()), total / 1e6);
    std::printf("%-11s %9s | %9s %7s | %9s %7s | %9s %7s | %8s\n", "file", "size", "ours", "MB/s",
                "jlha-lh5", "MB/s", "gzip-6", "MB/s", "ours/jlha");

    auto row = [&](const char* label, qint64 size, Figure o, Figure j, Figure g) {
        auto cell = [](Figure f, qint64 size) {
            static thread_local std::array<char, 64> buf;
            if (f.bytes < 0)
                std::snprintf(buf.data(), buf.size(), "%9s %7s", "n/a", "");
            else
                std::snprintf(buf.data(), buf.size(), "%9lld %7.1f",
                              static_cast<long long>(f.bytes), mbps(size, f.seconds));
            return std::string(buf.data());
        };
        const std::string a = cell(o, size), b = cell(j, size), c = cell(g, size);
        std::printf("%-11s %9lld | %s | %s | %s | ", label, static_cast<long long>(size), a.c_str(),
                    b.c_str(), c.c_str());
        if (j.bytes > 0)
            std::printf("%8.4f\n", static_cast<double>(o.bytes) / static_cast<double>(j.bytes));
        else
            std::printf("%8s\n", "n/a");
    };

    bool sizeOk = true;
    for (const auto& f : corpus) {
        const QString base = QFileInfo(f.name).completeBaseName();
        Figure o, j, g;
        const QString ours = dir + QStringLiteral("/ours_") + base + QStringLiteral(".lzh");
        o.seconds = runOurs(ours, dir, {f.name});
        o.bytes = memberSizes(ours)[f.name];
        if (!jlha.isEmpty()) {
            const QString arc = QStringLiteral("jlha_") + base + QStringLiteral(".lzh");
            j.seconds = runTool(jlha, {QStringLiteral("co5"), arc, f.name}, dir);
            if (j.seconds >= 0)
                j.bytes = memberSizes(dir + u'/' + arc)[f.name];
        }
        if (!gzip.isEmpty()) {
            const QString out = dir + QStringLiteral("/gz_") + base + QStringLiteral(".gz");
            g.seconds =
                runTool(gzip, {QStringLiteral("-6"), QStringLiteral("-c"), f.name}, dir, out);
            if (g.seconds >= 0)
                g.bytes = QFileInfo(out).size();
        }
        if (j.bytes >= 0 && o.bytes > j.bytes)
            sizeOk = false;
        row(qPrintable(f.name), f.data.size(), o, j, g);
    }

    // One run over the whole corpus per tool: the speed figure that counts,
    // with process start-up paid once.
    Figure o, j, g;
    const QString ours = dir + QStringLiteral("/ours_all.lzh");
    o.seconds = runOurs(ours, dir, names);
    o.bytes = QFileInfo(ours).size();
    if (!jlha.isEmpty()) {
        j.seconds = runTool(
            jlha, QStringList{QStringLiteral("co5"), QStringLiteral("jlha_all.lzh")} + names, dir);
        j.bytes = j.seconds >= 0 ? QFileInfo(dir + QStringLiteral("/jlha_all.lzh")).size() : -1;
    }
    if (!gzip.isEmpty()) {
        const QString out = dir + QStringLiteral("/all.gz");
        g.seconds = runTool(gzip, QStringList{QStringLiteral("-6"), QStringLiteral("-c")} + names,
                            dir, out);
        g.bytes = g.seconds >= 0 ? QFileInfo(out).size() : -1;
    }
    row("ALL(1 run)", total, o, j, g);
    std::printf("ratio (compressed/original): ours %.4f", static_cast<double>(o.bytes) / total);
    if (j.bytes >= 0)
        std::printf(", jlha %.4f", static_cast<double>(j.bytes) / total);
    if (g.bytes >= 0)
        std::printf(", gzip-6 %.4f", static_cast<double>(g.bytes) / total);
    std::printf("\n");
    if (j.bytes >= 0) {
        std::printf("target size  (no member larger than jlha): %s\n", sizeOk ? "met" : "MISSED");
        std::printf("target speed (at least jlha's MB/s):      %s (%.1f vs %.1f MB/s)\n",
                    mbps(total, o.seconds) >= mbps(total, j.seconds) ? "met" : "MISSED",
                    mbps(total, o.seconds), mbps(total, j.seconds));
    } else {
        std::printf("jlha not installed: targets not checked\n");
    }
    return 0;
}
