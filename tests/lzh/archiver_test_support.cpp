// SPDX-License-Identifier: GPL-3.0-or-later
#include "archiver_test_support.h"

#include "lzh/unlha.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <array>
#include <cstring>

namespace pelmora::test {

QString quoteIfNeeded(const QString& text)
{
    if (text.contains(u' ') || text.contains(u','))
        return u'"' + text + u'"';
    return text;
}

QByteArray listFileText(const QStringList& entries)
{
    QByteArray out;
    for (const QString& e : entries)
        out += quoteIfNeeded(e).toUtf8() + "\r\n";
    return out + "\r\n";
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QByteArray updateCommandLine(const QString& archive, const QString& listFile)
{
    return "u -a1 -r2 -l1 -jp1 -o2 " + quoteIfNeeded(archive).toUtf8() + " \\ " +
           quoteIfNeeded(u'@' + listFile).toUtf8() + " ";
}

UnlhaCall callUnlha(const QByteArray& commandLine)
{
    std::array<char, 1024> out;
    out.fill('\x7F');
    UnlhaCall call;
    call.code = Unlha(0, commandLine.constData(), out.data(), out.size());
    call.report =
        QString::fromUtf8(out.data(), static_cast<qsizetype>(strnlen(out.data(), out.size())));
    return call;
}

UnlhaCall updateWith(const QString& archive, const QString& listPath, const QStringList& files)
{
    if (!writeFile(listPath, listFileText(files)))
        return {};
    return callUnlha(updateCommandLine(archive, listPath));
}

QString storedName(const QString& absolutePath)
{
    QString s = QDir::cleanPath(absolutePath);
    while (s.startsWith(u'/'))
        s.remove(0, 1);
    return s;
}

namespace {

// How each reader tests an archive (reading every member's data and checking
// its CRC) and extracts it into the working folder. unar tests with lsar; it
// ignores the code-page extension and guesses the names' encoding from their
// bytes (a few short Japanese names come out as Cyrillic), so it is told.
struct ReaderCommands
{
    const char* name;
    const char* tester;
    QStringList test;
    QStringList extract;
};

const ReaderCommands* commandsOf(const QString& name)
{
    static const ReaderCommands table[] = {
        {"lhasa", "lhasa", {QStringLiteral("tq")}, {QStringLiteral("xqf")}},
        {"bsdtar", "bsdtar", {QStringLiteral("-xOf")}, {QStringLiteral("-xf")}},
        {"7z", "7z", {QStringLiteral("t")}, {QStringLiteral("x"), QStringLiteral("-y")}},
        {"unar",
         "lsar",
         {QStringLiteral("-t"), QStringLiteral("-e"), QStringLiteral("UTF-8")},
         {QStringLiteral("-q"), QStringLiteral("-f"), QStringLiteral("-D"), QStringLiteral("-e"),
          QStringLiteral("UTF-8"), QStringLiteral("-o"), QStringLiteral(".")}}};
    for (const ReaderCommands& c : table)
        if (name == QLatin1String(c.name))
            return &c;
    return nullptr;
}

// Runs `program` in `dir` on `archive`; its messages when it fails, empty on
// success. bsdtar tests by extracting to stdout, which is dropped.
QString runReader(const QString& name, const QString& program, const QStringList& args,
                  const QString& archive, const QString& dir, bool dropStdout = false)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The readers turn stored names into the locale's encoding.
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir);
    if (dropStdout)
        p.setStandardOutputFile(QProcess::nullDevice());
    else
        p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args + QStringList{archive});
    if (!p.waitForFinished(120000))
        return name + QStringLiteral(" did not finish");
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return name + QStringLiteral(" failed: ") + QString::fromUtf8(p.readAll()) +
               QString::fromUtf8(p.readAllStandardError());
    return {};
}

} // namespace

const QStringList& readerNames()
{
    static const QStringList names{QStringLiteral("lhasa"), QStringLiteral("bsdtar"),
                                   QStringLiteral("7z"), QStringLiteral("unar")};
    return names;
}

Reader reader(const QString& name)
{
    const ReaderCommands* c = commandsOf(name);
    if (c == nullptr)
        return {name, {}, {}};
    const QString program = QStandardPaths::findExecutable(name);
    const QString tester = QStandardPaths::findExecutable(QString::fromLatin1(c->tester));
    if (program.isEmpty() || tester.isEmpty())
        return {name, {}, {}};
    return {name, program, tester};
}

QString testArchive(const Reader& r, const QString& archive)
{
    const ReaderCommands* c = commandsOf(r.name);
    return runReader(r.name + QStringLiteral(" (test)"), r.tester, c->test, archive,
                     QDir::tempPath(), r.name == u"bsdtar");
}

QString extract(const Reader& r, const QString& archive, const QString& into)
{
    QDir().mkpath(into);
    return runReader(r.name, r.program, commandsOf(r.name)->extract, archive, into);
}

QString compareTree(const QString& root, const std::map<QString, QByteArray>& expected)
{
    std::map<QString, bool> seen;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = QDir(root).relativeFilePath(path);
        const auto hit = expected.find(rel);
        if (hit == expected.end())
            return QStringLiteral("unexpected file: ") + rel;
        if (readFile(path) != hit->second)
            return QStringLiteral("content differs: ") + rel;
        seen[rel] = true;
    }
    for (const auto& [rel, bytes] : expected)
        if (!seen.count(rel))
            return QStringLiteral("missing file: ") + rel;
    return {};
}

QString checkWithReaders(const QString& archive, const std::map<QString, QByteArray>& expected,
                         const QString& scratch, QStringList& checked)
{
    for (const QString& name : readerNames()) {
        const Reader r = reader(name);
        if (r.program.isEmpty()) {
            if (name == u"lhasa")
                return QStringLiteral("lhasa is not installed (apt-get install lhasa)");
            qInfo("%s not installed: its check is skipped", qPrintable(name));
            continue;
        }
        if (const QString err = testArchive(r, archive); !err.isEmpty())
            return err;
        const QString into = scratch + u'/' + name;
        QDir(into).removeRecursively();
        if (const QString err = extract(r, archive, into); !err.isEmpty())
            return err;
        if (const QString diff = compareTree(into, expected); !diff.isEmpty())
            return name + QStringLiteral(": ") + diff;
        QDir(into).removeRecursively();
        checked << name;
    }
    return {};
}

QStringList strayFiles(const QString& dir, const QStringList& keep)
{
    QStringList stray;
    for (const QString& f : QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (!keep.contains(f))
            stray << f;
    return stray;
}

QByteArray randomBytes(qsizetype size, std::uint64_t seed)
{
    QByteArray out(size, '\0');
    std::uint64_t s = seed * 0x9E3779B97F4A7C15ull + 1;
    for (qsizetype i = 0; i < size; ++i) {
        s ^= s >> 12;
        s ^= s << 25;
        s ^= s >> 27;
        out[i] = static_cast<char>((s * 2685821657736338717ull) >> 56);
    }
    return out;
}

std::vector<ExistingMember> membersOf(const QString& archive)
{
    QFile f(archive);
    std::string why;
    if (!f.open(QIODevice::ReadOnly))
        return {};
    auto m = read_members(f, why);
    return m ? *m : std::vector<ExistingMember>{};
}

} // namespace pelmora::test
