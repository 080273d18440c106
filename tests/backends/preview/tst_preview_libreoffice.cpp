// SPDX-License-Identifier: GPL-3.0-or-later
// End to end with the installed LibreOffice: .xls and .doc files written by LibreOffice from
// text made here are previewed and the pictures judged by size and ink. Documents with
// linked pictures show that the jail keeps the office off the network and out of the user's
// files, and that its socket stays in our private folder.
#include "backends/preview/libreoffice_preview_renderer.h"
#include "office_fixtures.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUrl>
#include <atomic>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace pelmora {

namespace {

// A web server on 127.0.0.1 in a thread of its own (it must answer while the test thread
// blocks on a fixture conversion): counts connections and answers every request with 404.
class CountingServer final : public QThread
{
public:
    ~CountingServer() override
    {
        quit();
        wait();
    }
    quint16 start_listening()
    {
        start();
        m_ready.acquire();
        return m_port;
    }
    std::atomic<int> connections = 0;

protected:
    void run() override
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost);
        m_port = server.serverPort();
        QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                ++connections;
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    socket->readAll();
                    socket->write("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n");
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        m_ready.release();
        exec();
    }

private:
    QSemaphore m_ready;
    quint16 m_port = 0;
};

bool write_bytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestPreviewLibreOffice final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir root_;
    QString tmp_;
    QString soffice_;
    QString workbook_;
    QString document_;
    std::unique_ptr<LibreOfficePreviewRenderer> resident_;
    CountingServer server_;
    QByteArray url_;            // of a picture on server_
    QString word97_;            // Word 97 with INCLUDEPICTURE of url_
    QTemporaryDir planted_dir_; // a folder of the user's, outside the jail
    QString planted_;           // a black picture there

    // Processes whose command line names our private temporary folder.
    QStringList our_processes() const
    {
        QStringList found;
        const QByteArray marker = QFile::encodeName(tmp_);
        for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            bool numeric = false;
            entry.toLongLong(&numeric);
            if (!numeric)
                continue;
            QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
            if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(marker))
                found << entry;
        }
        return found;
    }

    static void check_picture(const PreviewResult& result, const QSize& pane)
    {
        QVERIFY2(result.ok(), qPrintable(result.message));
        const QSize size = result.image.size();
        // As wide as the pane; the height follows the page (the pane scrolls).
        QVERIFY2(size.width() == pane.width(),
                 qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
        // Office pages are portrait A4 or Letter.
        const double ratio = double(size.width()) / size.height();
        QVERIFY2(ratio > 0.68 && ratio < 0.80, qPrintable(QString::number(ratio)));
        // Text and grid lines, not a blank page: at least 0.3 % of the pixels carry ink,
        // and the page around them is white.
        const qsizetype ink = fixtures::ink_pixels(result.image);
        qInfo("ink pixels: %lld of %lld", qlonglong(ink), qlonglong(size.width()) * size.height());
        QVERIFY2(ink * 1000 >= qsizetype(size.width()) * size.height() * 3,
                 qPrintable(QString::number(ink)));
        QVERIFY(ink * 2 < qsizetype(size.width()) * size.height());
        QCOMPARE(result.image.pixel(size.width() - 2, size.height() - 2), qRgb(255, 255, 255));
    }

private Q_SLOTS:
    void initTestCase()
    {
        soffice_ = fixtures::find_soffice();
        if (soffice_.isEmpty())
            QFAIL("LibreOffice (soffice or libreoffice) is not on PATH; end-to-end preview "
                  "tests need it (Debian: libreoffice-calc-nogui, libreoffice-writer-nogui)");
        QVERIFY(root_.isValid());
        tmp_ = root_.path() + QStringLiteral("/tmp");
        const QString sources = root_.path() + QStringLiteral("/sources");
        const QString docs = root_.path() + QStringLiteral("/書類");
        QVERIFY(QDir().mkpath(tmp_) && QDir().mkpath(sources) && QDir().mkpath(docs));
        qputenv("TMPDIR", QFile::encodeName(tmp_));

        url_ = "http://127.0.0.1:" + QByteArray::number(server_.start_listening()) + "/pic.png";
        const QString csv = sources + QStringLiteral("/売上表.csv");
        const QString rtf = sources + QStringLiteral("/議事録.rtf");
        const QString linked = sources + QStringLiteral("/linked.fodt");
        QVERIFY(fixtures::write_text(csv, fixtures::sample_workbook_csv(30, 1)));
        QVERIFY(fixtures::write_text(rtf, fixtures::sample_document_rtf(1)));
        QVERIFY(write_bytes(linked, fixtures::linked_flat_odt(url_)));
        QString log;
        const QStringList xls = fixtures::convert_with_soffice(
            soffice_, {csv}, QStringLiteral("xls"), docs, &log, fixtures::csv_utf8_infilter());
        QVERIFY2(xls.size() == 1, qPrintable(log));
        const QStringList doc = fixtures::convert_with_soffice(
            soffice_, {rtf, linked}, QStringLiteral("doc:MS Word 97"), docs, &log);
        QVERIFY2(doc.size() == 2, qPrintable(log));
        workbook_ = xls.first();
        document_ = doc.first();
        word97_ = doc.at(1);
        // Unconfined, as the fixtures are made, LibreOffice does fetch the linked picture:
        // the documents below are live web bugs, not duds.
        QTRY_VERIFY_WITH_TIMEOUT(server_.connections > 0, 5000);
        QFile word97(word97_);
        QVERIFY(word97.open(QIODevice::ReadOnly));
        const QByteArray word97_bytes = word97.readAll();
        const QString field = QStringLiteral("INCLUDEPICTURE");
        QVERIFY(word97_bytes.contains(
                    QByteArray(reinterpret_cast<const char*>(field.utf16()), field.size() * 2)) ||
                word97_bytes.contains("INCLUDEPICTURE"));
        server_.connections = 0;

        QVERIFY(planted_dir_.isValid());
        planted_ = planted_dir_.path() + QStringLiteral("/black.png");
        QImage black(400, 400, QImage::Format_RGB32);
        black.fill(Qt::black);
        QVERIFY(black.save(planted_));
        // Real Excel and Word binaries, not text under those names.
        for (const QString& path : {workbook_, document_}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(file.read(8) == QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"));
        }

        LibreOfficeOptions options;
        options.time_limit = 90s; // a first start on a slow machine
        resident_ = std::make_unique<LibreOfficePreviewRenderer>(options);
        QCOMPARE(resident_->program(), soffice_);
    }

    void cleanupTestCase()
    {
        resident_.reset();
        if (!soffice_.isEmpty()) {
            QTRY_VERIFY2_WITH_TIMEOUT(our_processes().isEmpty(),
                                      qPrintable(our_processes().join(' ')), 5000);
            const QStringList left =
                QDir(tmp_).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden);
            QVERIFY2(left.isEmpty(), qPrintable(left.join(' ')));
        }
    }

    void renders_documents_and_remembers_them_data()
    {
        QTest::addColumn<bool>("workbook");
        QTest::addColumn<QSize>("pane");
        // A file seen before at another pane size is drawn again from its remembered first
        // page, without another conversion.
        QTest::addColumn<int>("conversions");
        QTest::newRow("workbook, tall pane") << true << QSize(300, 460) << 1;
        QTest::newRow("document, wide pane") << false << QSize(500, 400) << 1;
        QTest::newRow("workbook again, other pane") << true << QSize(420, 420) << 0;
    }

    void renders_documents_and_remembers_them()
    {
        QFETCH(bool, workbook);
        QFETCH(QSize, pane);
        QFETCH(int, conversions);
        const QString path = workbook ? workbook_ : document_;
        const int before = resident_->conversions();

        const PreviewResult first = resident_->render(Path(path), pane);
        check_picture(first, pane);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(resident_->conversions(), before + conversions);

        const PreviewResult second = resident_->render(Path(path), pane);
        QVERIFY(second.ok());
        QCOMPARE(resident_->conversions(), before + conversions);
        QCOMPARE(second.image, first.image);
        QCOMPARE(resident_->resident_starts(), 1);
    }

    void one_shot_mode_renders_too()
    {
        LibreOfficeOptions options;
        options.mode = LibreOfficeMode::OneShot;
        options.time_limit = 90s;
        LibreOfficePreviewRenderer renderer(options);
        const QSize pane(240, 340);
        check_picture(renderer.render(Path(document_), pane), pane);
        QCOMPARE(renderer.conversions(), 1);
        QCOMPARE(renderer.resident_starts(), 0);
    }

    void linked_pictures_never_reach_the_network_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // empty: the Word 97 fixture
        const QByteArray planted = QUrl::fromLocalFile(planted_).toEncoded();
        QTest::newRow("Word 97 INCLUDEPICTURE") << QStringLiteral("w97.doc") << QByteArray();
        QTest::newRow("HTML under .doc, web and home pictures")
            << QStringLiteral("web.doc") << fixtures::linked_html(url_, planted);
        QTest::newRow("flat ODT under .doc")
            << QStringLiteral("odt.doc") << fixtures::linked_flat_odt(url_);
        QTest::newRow("DOCX under .doc")
            << QStringLiteral("docx.doc") << fixtures::linked_docx(url_);
    }

    // The page is still shown; no request reaches the server, and a picture linked from the
    // user's files (a black square that would fill much of the page) stays out.
    void linked_pictures_never_reach_the_network()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        const QString path = bytes.isEmpty() ? word97_ : root_.path() + QLatin1Char('/') + name;
        if (!bytes.isEmpty())
            QVERIFY(write_bytes(path, bytes));
        const QSize pane(300, 420);
        const PreviewResult result = resident_->render(Path(path), pane);
        QVERIFY2(result.ok(), qPrintable(result.message));
        const qsizetype ink = fixtures::ink_pixels(result.image);
        const qsizetype all = qsizetype(result.image.width()) * result.image.height();
        QVERIFY2(ink * 1000 >= all && ink * 10 < all, qPrintable(QString::number(ink)));
        QTest::qWait(300);
        QCOMPARE(server_.connections.load(), 0);
    }

    // The office's socket is made in our private folder (mode 0700), never in the shared
    // /tmp where another user could squat its predictable name; it goes with the folder.
    void office_socket_stays_private()
    {
        const QStringList folders =
            QDir(tmp_).entryList({QStringLiteral("pelmora-lo-*")}, QDir::Dirs);
        QVERIFY(!folders.isEmpty());
        QStringList sockets;
        for (const QString& folder : folders) {
            const QString path = tmp_ + QLatin1Char('/') + folder;
            struct stat st
            {};
            QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
            QCOMPARE(st.st_mode & 0777, 0700u);
            sockets += QDir(path + QStringLiteral("/tmp"))
                           .entryList({QStringLiteral("OSL_PIPE_*")}, QDir::System);
        }
        QVERIFY2(!sockets.isEmpty(), qPrintable(folders.join(' ')));
        for (const QString& socket : sockets)
            QVERIFY2(!QFileInfo::exists(QStringLiteral("/tmp/") + socket), qPrintable(socket));
    }

    void garbage_never_reaches_libreoffice()
    {
        const QString junk = root_.path() + QStringLiteral("/junk.xls");
        QFile file(junk);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray bytes(8192, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char((i * 131 + 7) % 256);
        file.write(bytes);
        file.close();
        const int before = resident_->conversions();
        const PreviewResult result = resident_->render(Path(junk), QSize(200, 200));
        QCOMPARE(int(result.error), int(PreviewError::NotADocument));
        QCOMPARE(resident_->conversions(), before);
    }
};

} // namespace pelmora

QTEST_MAIN(pelmora::TestPreviewLibreOffice)
#include "tst_preview_libreoffice.moc"
