// SPDX-License-Identifier: GPL-3.0-or-later
// Reads a PDF back with poppler's command-line tools.
#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace pelmora::test {

// stdout of a poppler tool; empty with ok == false when it is missing or fails.
inline QString run_poppler(const QString& tool, const QStringList& args, bool* ok = nullptr)
{
    const QString exe = QStandardPaths::findExecutable(tool);
    if (ok)
        *ok = false;
    if (exe.isEmpty())
        return {};
    QProcess process;
    process.start(exe, args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return {};
    if (ok)
        *ok = true;
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The text of every page (pdftotext -layout), one string per page.
inline QStringList pdf_pages(const QString& pdf, bool* ok = nullptr)
{
    QString text = run_poppler(QStringLiteral("pdftotext"),
                               {QStringLiteral("-layout"), QStringLiteral("-enc"),
                                QStringLiteral("UTF-8"), pdf, QStringLiteral("-")},
                               ok);
    QStringList pages = text.split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.back().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// The non-empty lines of a page, with trailing blanks removed.
inline QStringList page_lines(const QString& page)
{
    QStringList lines;
    for (QString line : page.split(QLatin1Char('\n'))) {
        while (!line.isEmpty() && line.back().isSpace())
            line.chop(1);
        if (!line.isEmpty())
            lines << line;
    }
    return lines;
}

// The expected lines as pdftotext shows them: blank lines vanish, trailing blanks too.
inline QStringList visible_lines(const QStringList& printed)
{
    QStringList lines;
    for (QString line : printed) {
        while (!line.isEmpty() && line.back().isSpace())
            line.chop(1);
        if (!line.isEmpty())
            lines << line;
    }
    return lines;
}

} // namespace pelmora::test
