// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace pelmora::bench {

struct CorpusFile
{
    QString name;
    QByteArray data;
};

// One kind of data the archiver meets, as a set of files.
struct Corpus
{
    QString name;
    std::vector<CorpusFile> files;
    bool incompressible = false; // should be stored, never grown
};

// The benchmark corpora: generated from a seeded generator so that every run
// and every machine compresses the same bytes, except the source code (this
// project's own) and the executables (the Qt Core library on this machine).
std::vector<Corpus> makeCorpora(const QString& sourceDir);

} // namespace pelmora::bench
