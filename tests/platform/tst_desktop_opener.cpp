// The desktop opener refuses what cannot be opened and hands everything else to the
// desktop's file handler as a local file URL. A stand-in handler takes the place of the
// desktop, so no application is launched.
#include "platform/desktop_opener.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace pelmora {

class TestDesktopOpener final : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    void record(const QUrl& url) { requests_ << url; }

private:
    QTemporaryDir dir_;
    QList<QUrl> requests_;

    QString make_file(const QString& name)
    {
        const QString path = dir_.path() + QLatin1Char('/') + name;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("x") != 1)
            return {};
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "record");
    }
    void cleanupTestCase() { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    void init() { requests_.clear(); }

    void refuses_what_does_not_exist_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("empty") << QString();
        QTest::newRow("missing file") << dir_.path() + QStringLiteral("/gone.xls");
        QTest::newRow("missing folder") << dir_.path() + QStringLiteral("/no/such/memo.doc");
        QTest::newRow("relative, missing") << QStringLiteral("pelmora-missing.doc");
    }

    void refuses_what_does_not_exist()
    {
        QFETCH(QString, path);
        DesktopOpener opener;
        QVERIFY(!opener.open(path));
        QVERIFY(requests_.isEmpty());
    }

    void hands_an_existing_file_to_the_desktop_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QStringLiteral("book.xls");
        QTest::newRow("japanese and blanks") << QStringLiteral("見積書 第2版.doc");
        QTest::newRow("characters with URL meaning") << QStringLiteral("a#b%20c?d.xls");
    }

    void hands_an_existing_file_to_the_desktop()
    {
        QFETCH(QString, name);
        const QString path = make_file(name);
        QVERIFY(!path.isEmpty());
        DesktopOpener opener;
        QVERIFY(opener.open(path));
        QCOMPARE(requests_.size(), 1);
        QVERIFY(requests_.first().isLocalFile());
        QCOMPARE(requests_.first().toLocalFile(), path);
    }

    void relative_path_is_made_absolute()
    {
        const QString path = make_file(QStringLiteral("relative.doc"));
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir_.path()));
        DesktopOpener opener;
        const bool accepted = opener.open(QStringLiteral("relative.doc"));
        QVERIFY(QDir::setCurrent(previous));
        QVERIFY(accepted);
        QCOMPARE(requests_.size(), 1);
        QCOMPARE(requests_.first().toLocalFile(), path);
    }
};

} // namespace pelmora

QTEST_MAIN(pelmora::TestDesktopOpener)
#include "tst_desktop_opener.moc"
