// SPDX-License-Identifier: GPL-3.0-or-later
// Which member-name encodings the LZH readers on this machine give back
// correctly: writes one small archive per encoding and extracts it with each
// installed reader in a UTF-8 locale, then prints what came out.
//   lzh_names            the matrix
#include "lzh/crc16.h"
#include "lzh/lzh_format.h"
#include "lzh/lzh_header_writer.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <cstdio>

using namespace pelmora;

namespace {

struct Encoding
{
    const char* label;
    bool cp932;             // name bytes in CP932, else UTF-8
    std::uint8_t os;        // OS id
    std::uint32_t codePage; // 0: no code page header
};

struct ReaderRun
{
    const char* label;
    const char* program;
    QStringList args; // the archive is appended
};

QByteArray archiveWith(const QByteArray& name, const Encoding& e)
{
    const QByteArray data = "matrix";
    NewMemberHeader h;
    h.method = "-lh0-";
    h.packedSize = h.originalSize = static_cast<std::uint32_t>(data.size());
    h.mtime = 1700000000;
    h.dataCrc = Crc16::of(std::span(reinterpret_cast<const std::uint8_t*>(data.constData()),
                                    static_cast<std::size_t>(data.size())));
    h.path = name.toStdString();
    h.codePage = e.codePage;
    h.os = e.os;
    h.unixMode = 0100644;
    const auto header = write_level2_header(h);
    QByteArray out(reinterpret_cast<const char*>(header.data()),
                   static_cast<qsizetype>(header.size()));
    return out + data + QByteArray(1, '\0');
}

// The files below `dir`, relative, as UTF-8 text; bytes that are not UTF-8
// shown as \xNN. Listed by find(1): Qt skips names it cannot decode.
QString extracted(const QString& dir)
{
    QProcess find;
    find.setWorkingDirectory(dir);
    find.start(QStringLiteral("find"), {QStringLiteral("."), QStringLiteral("-type"),
                                        QStringLiteral("f"), QStringLiteral("-print0")});
    find.waitForFinished(30000);
    QStringList names;
    for (QByteArray raw : find.readAllStandardOutput().split('\0')) {
        if (raw.isEmpty())
            continue;
        raw = raw.mid(2); // "./"
        QStringDecoder d(QStringDecoder::Utf8);
        const QString text = d(raw);
        if (!d.hasError()) {
            names << text;
            continue;
        }
        QString shown;
        for (unsigned char c : raw)
            shown +=
                c < 0x80 ? QString(QChar(c)) : QStringLiteral("\\x%1").arg(c, 2, 16, QChar(u'0'));
        names << shown;
    }
    return names.isEmpty() ? QStringLiteral("(nothing)") : names.join(QStringLiteral(" + "));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    tmp.setAutoRemove(qEnvironmentVariableIsEmpty("KEEP"));
    const QString name = QStringLiteral("経理部/予算①～表.xls");
    const QByteArray utf8 = name.toUtf8();
    QStringEncoder toCp932("windows-31j");
    const QByteArray cp932 = toCp932(name);

    const Encoding encodings[] = {
        {"CP932, OS U, cp 932", true, 'U', 932},      {"CP932, OS M, cp 932", true, 'M', 932},
        {"CP932, OS M, none", true, 'M', 0},          {"CP932, OS U, none", true, 'U', 0},
        {"UTF-8, OS U, cp 65001", false, 'U', 65001}, {"UTF-8, OS U, none", false, 'U', 0},
        {"UTF-8, OS M, cp 65001", false, 'M', 65001},
    };
    const ReaderRun readers[] = {
        {"lhasa", "lhasa", {QStringLiteral("xqf")}},
        {"bsdtar", "bsdtar", {QStringLiteral("-xf")}},
        {"7z", "7z", {QStringLiteral("x"), QStringLiteral("-y")}},
        {"jlha", "jlha", {QStringLiteral("x")}},
        {"jlha y", "jlha", {QStringLiteral("xy")}},
    };
    std::printf("member name %s (CP932 %lld bytes, UTF-8 %lld bytes), locale C.UTF-8\n",
                qPrintable(name), static_cast<long long>(cp932.size()),
                static_cast<long long>(utf8.size()));
    int n = 0;
    for (const Encoding& e : encodings) {
        const QString arc = tmp.path() + QStringLiteral("/a%1.lzh").arg(++n);
        QFile f(arc);
        if (!f.open(QIODevice::WriteOnly) || f.write(archiveWith(e.cp932 ? cp932 : utf8, e)) < 0)
            return 1;
        f.close();
        for (const ReaderRun& r : readers) {
            const QString program = QStandardPaths::findExecutable(QString::fromUtf8(r.program));
            QString result;
            if (program.isEmpty()) {
                result = QStringLiteral("(not installed)");
            } else {
                const QString into = tmp.path() + QStringLiteral("/x%1_%2").arg(n).arg(r.label);
                QDir().mkpath(into);
                QProcess p;
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
                p.setProcessEnvironment(env);
                p.setWorkingDirectory(into);
                p.setProcessChannelMode(QProcess::MergedChannels);
                p.start(program, r.args + QStringList{arc});
                p.waitForFinished(60000);
                const QString got = extracted(into);
                result = got == name
                             ? QStringLiteral("OK")
                             : QStringLiteral("BAD %1 (exit %2)").arg(got).arg(p.exitCode());
            }
            std::printf("%-24s %-7s %s\n", e.label, r.label, qPrintable(result));
        }
    }
    // Names that are not UTF-8 are beyond QTemporaryDir.
    QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), tmp.path()});
    return 0;
}
