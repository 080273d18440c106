// SPDX-License-Identifier: GPL-3.0-or-later
// A file tree in a temporary folder, for tests on the real file system.
#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace pelmora::test {

class TestTree final
{
public:
    bool isValid() const { return m_dir.isValid(); }
    // The root, ending with "/".
    QString root() const { return m_dir.path() + QLatin1Char('/'); }
    QString path(const QString& rel) const { return root() + rel; }

    bool createDir(const QString& rel) { return QDir().mkpath(path(rel)); }
    bool createFile(const QString& rel, const QByteArray& content = QByteArray("x"))
    {
        const QString p = path(rel);
        QDir().mkpath(QFileInfo(p).absolutePath());
        QFile f(p);
        return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
    }
    bool createLink(const QString& target, const QString& rel)
    {
        return QFile::link(target, path(rel));
    }

private:
    QTemporaryDir m_dir;
};

} // namespace pelmora::test
