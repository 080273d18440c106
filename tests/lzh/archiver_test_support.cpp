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

Reader reader(const QString& name)
{
    return {name, QStandardPaths::findExecutable(name)};
}

QString extract(const Reader& r, const QString& archive, const QString& into)
{
    QDir().mkpath(into);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The readers turn stored names into the locale's encoding.
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(into);
    p.setProcessChannelMode(QProcess::MergedChannels);
    QStringList args;
    if (r.name == u"lhasa")
        args = {QStringLiteral("xqf"), archive};
    else if (r.name == u"bsdtar")
        args = {QStringLiteral("-xf"), archive};
    else
        args = {QStringLiteral("x"), QStringLiteral("-y"), archive};
    p.start(r.program, args);
    if (!p.waitForFinished(120000))
        return r.name + QStringLiteral(" did not finish");
    const QString output = QString::fromUtf8(p.readAll());
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return r.name + QStringLiteral(" failed: ") + output;
    return {};
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
    for (const QString& name :
         {QStringLiteral("lhasa"), QStringLiteral("bsdtar"), QStringLiteral("7z")}) {
        const Reader r = reader(name);
        if (r.program.isEmpty()) {
            if (name == u"lhasa")
                return QStringLiteral("lhasa is not installed (apt-get install lhasa)");
            qInfo("%s not installed: its check is skipped", qPrintable(name));
            continue;
        }
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
    auto m = readMembers(f, why);
    return m ? *m : std::vector<ExistingMember>{};
}

} // namespace pelmora::test
