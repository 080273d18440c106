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

// The fixed benchmark corpus (about 20 MB), generated from a seeded generator
// so that every run and every machine compresses the same bytes.
std::vector<CorpusFile> makeCorpus();

} // namespace pelmora::bench
