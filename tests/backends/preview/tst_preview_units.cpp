// SPDX-License-Identifier: GPL-3.0-or-later
// The preview renderer's parts on their own: what content sniffing makes of real-world
// bytes, the picture cache's budget, process groups, and the removal of our temporary
// folders (after a group ends, and left over from a run that was killed).
#include "backends/preview/document_sniffer.h"
#include "backends/preview/folder_cleaner.h"
#include "backends/preview/pdf_page.h"
#include "backends/preview/picture_cache.h"
#include "base/native_path.h"
#include "base/process_group.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(pelmora::DocumentFormat)
Q_DECLARE_METATYPE(pelmora::TextEncoding)

namespace pelmora {

namespace {

QByteArray utf16(const char* text)
{
    QByteArray out;
    for (const char* c = text; *c; ++c)
        out.append(*c).append('\0');
    return out;
}

const QByteArray kOle = QByteArrayLiteral("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");

QImage picture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

} // namespace

class TestPreviewUnits final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // --- content sniffing ---

    void sniffing_names_the_content_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<DocumentFormat>("format");
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<bool>("encrypted");
        const auto none = TextEncoding::None;
        QTest::newRow("empty") << QByteArray() << DocumentFormat::Empty << none << false;
        QTest::newRow("Excel 97") << kOle + QByteArray(504, '\0') + utf16("Workbook")
                                  << DocumentFormat::ExcelBinary << none << false;
        QTest::newRow("Excel 95") << kOle + QByteArray(504, '\0') + utf16("Book")
                                  << DocumentFormat::ExcelBinary << none << false;
        QTest::newRow("Word 97") << kOle + QByteArray(504, '\0') + utf16("WordDocument")
                                 << DocumentFormat::WordBinary << none << false;
        QTest::newRow("truncated compound file")
            << kOle + QByteArray(40, '\0') << DocumentFormat::Ole2Other << none << false;
        QTest::newRow("encrypted OOXML")
            << kOle + QByteArray(504, '\0') + utf16("EncryptionInfo") + utf16("EncryptedPackage")
            << DocumentFormat::Ole2Other << none << true;
        QTest::newRow("xlsx") << QByteArray("PK\x03\x04", 4) + QByteArray(30, 'x') + "xl/styles.xml"
                              << DocumentFormat::OoxmlWorkbook << none << false;
        QTest::newRow("docx") << QByteArray("PK\x03\x04", 4) + QByteArray(30, 'x') +
                                     "word/document.xml"
                              << DocumentFormat::OoxmlDocument << none << false;
        QTest::newRow("ods") << QByteArray("PK\x03\x04", 4) + QByteArray(26, '\0') + "mimetype" +
                                    "application/vnd.oasis.opendocument.spreadsheet"
                             << DocumentFormat::OdfSpreadsheet << none << false;
        QTest::newRow("zip of pictures")
            << QByteArray("PK\x03\x04", 4) + QByteArray(30, 'x') + "photo.jpg"
            << DocumentFormat::Binary << none << false;
        QTest::newRow("RTF") << QByteArray("{\\rtf1\\ansi x}") << DocumentFormat::Rtf << none
                             << false;
        QTest::newRow("HTML saved by a spreadsheet")
            << QByteArray("\r\n<html xmlns:o=\"urn:schemas-microsoft-com:office:office\">"
                          "<table><tr><td>1</td></tr></table></html>")
            << DocumentFormat::Html << none << false;
        QTest::newRow("Excel 2003 XML")
            << QByteArray("<?xml version=\"1.0\"?>\n<Workbook xmlns=\"urn:schemas-microsoft-com:"
                          "office:spreadsheet\">")
            << DocumentFormat::Xml2003Workbook << none << false;
        QTest::newRow("CSV, Shift_JIS")
            << QByteArray("\x94\xD4\x8D\x86,\x8E\x81\x96\xBC\r\n1,\x8E\x52\x93\x63\r\n")
            << DocumentFormat::Csv << TextEncoding::Cp932 << false;
        QTest::newRow("CSV, EUC-JP")
            << QByteArray("\xC8\xD6\xB9\xE6,\xBB\xE1\xCC\xBE\n1,\xBB\xB3\xC5\xC4\n")
            << DocumentFormat::Csv << TextEncoding::EucJp << false;
        QTest::newRow("CSV, UTF-8") << QStringLiteral("番号,氏名\n1,山田\n").toUtf8()
                                    << DocumentFormat::Csv << TextEncoding::Utf8 << false;
        QTest::newRow("CSV, UTF-8 with BOM")
            << QByteArray("\xEF\xBB\xBF") + QStringLiteral("番号,氏名\n1,山田\n").toUtf8()
            << DocumentFormat::Csv << TextEncoding::Utf8Bom << false;
        QTest::newRow("TSV, ASCII") << QByteArray("a\tb\n1\t2\n3\t4\n") << DocumentFormat::Tsv
                                    << TextEncoding::Utf8 << false;
        QTest::newRow("plain text") << QStringLiteral("議事録\n本日の議題について。\n").toUtf8()
                                    << DocumentFormat::Text << TextEncoding::Utf8 << false;
        QTest::newRow("PNG") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)
                             << DocumentFormat::Binary << none << false;
        QTest::newRow("control bytes") << QByteArray("\x01\x02\x03\x04\x05\x06 abc")
                                       << DocumentFormat::Binary << none << false;
    }

    void sniffing_names_the_content()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(DocumentFormat, format);
        QFETCH(TextEncoding, encoding);
        QFETCH(bool, encrypted);
        const SniffedDocument sniffed = sniff_bytes(bytes);
        QCOMPARE(sniffed.format, format);
        QCOMPARE(sniffed.encoding, encoding);
        QCOMPARE(sniffed.encrypted, encrypted);
    }

    void sniffing_reads_the_file_by_its_bytes()
    {
        QTemporaryDir dir;
        const QByteArray native = QFile::encodeName(dir.path()) + "/\x8C\xA9\x90\xCF.xls";
        QFile file;
        const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(fd >= 0);
        QVERIFY(file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
        file.write("a,b\n1,2\n");
        file.close();
        QCOMPARE(sniff_document(native_path::from_native(native)).format, DocumentFormat::Csv);
        // The same name decoded lossily names no file.
        QCOMPARE(sniff_document(QString::fromUtf8(native)).format, DocumentFormat::Unreadable);
        QCOMPARE(sniff_document(QStringLiteral("/no/such/file.xls")).format,
                 DocumentFormat::Unreadable);
        ::unlink(native.constData()); // QTemporaryDir cannot name it
    }

    void import_plan_fits_content_and_name()
    {
        SniffedDocument csv{DocumentFormat::Csv, TextEncoding::Cp932, false};
        QCOMPARE(import_plan(csv, false).infilter,
                 QStringLiteral("Text - txt - csv (StarCalc):44,34,60,1,,1041"));
        QCOMPARE(import_plan(csv, true).pdf_filter, QStringLiteral("calc_pdf_Export"));
        SniffedDocument html{DocumentFormat::Html, TextEncoding::Utf8, false};
        QCOMPARE(import_plan(html, false).infilter, QStringLiteral("HTML (StarCalc)"));
        QCOMPARE(import_plan(html, true).infilter, QStringLiteral("HTML (StarWriter)"));
        // A damaged container is still read with the importer its name promises, never as
        // text.
        SniffedDocument broken{DocumentFormat::Ole2Other, TextEncoding::None, false};
        QCOMPARE(import_plan(broken, false).infilter, QStringLiteral("MS Excel 97"));
        QCOMPARE(import_plan(broken, true).infilter, QStringLiteral("MS Word 97"));
        QVERIFY(first_page_pdf_argument(import_plan(broken, true))
                    .startsWith(QStringLiteral("pdf:writer_pdf_Export:")));
        QVERIFY(first_page_pdf_argument(import_plan(broken, true))
                    .contains(QStringLiteral("\"PageRange\"")));
    }

    // --- picture cache ---

    void cache_keeps_pictures_within_its_budget_least_recent_out_first()
    {
        // 100x100 RGB32 is 40,000 bytes: room for two.
        PictureCache cache(90'000);
        const PictureKey a{QStringLiteral("/a.xls"), 1, 10, 100};
        const PictureKey b{QStringLiteral("/b.xls"), 1, 10, 100};
        const PictureKey c{QStringLiteral("/c.xls"), 1, 10, 100};
        cache.insert(a, picture(100, 100));
        cache.insert(b, picture(100, 100));
        QVERIFY(cache.find(a)); // a is now the most recent
        cache.insert(c, picture(100, 100));
        QVERIFY(cache.find(a));
        QVERIFY(!cache.find(b));
        QVERIFY(cache.find(c));
        QVERIFY(cache.bytes() <= 90'000);
        // Other version, other width: not the same picture.
        QVERIFY(!cache.find(PictureKey{QStringLiteral("/a.xls"), 2, 10, 100}));
        QVERIFY(!cache.find(PictureKey{QStringLiteral("/a.xls"), 1, 11, 100}));
        QVERIFY(!cache.find(PictureKey{QStringLiteral("/a.xls"), 1, 10, 101}));
        // Too big for the whole budget: not kept, nothing else dropped.
        cache.insert(PictureKey{QStringLiteral("/huge.xls"), 1, 1, 500}, picture(500, 500));
        QCOMPARE(cache.count(), 2);
        cache.clear();
        QCOMPARE(cache.count(), 0);
        QCOMPARE(cache.bytes(), 0);
    }

    void cache_keeps_first_pages_for_any_width()
    {
        PictureCache cache(1'000'000);
        const PictureKey at300{QStringLiteral("/a.doc"), 5, 7, 300};
        cache.insert_page(at300, QByteArray("%PDF-1.4 page one"));
        const PictureKey at900{QStringLiteral("/a.doc"), 5, 7, 900};
        QCOMPARE(cache.find_page(at900), std::optional<QByteArray>("%PDF-1.4 page one"));
        QVERIFY(!cache.find(at900)); // no picture drawn at that width yet
        QVERIFY(!cache.find_page(PictureKey{QStringLiteral("/a.doc"), 6, 7, 300}));
    }

    // --- drawing the page ---

    // A sliver of a page asks for a picture of gigabytes: it is cut to the bounds and said so.
    void page_pictures_stay_within_bounds_whatever_the_shape()
    {
        struct Case
        {
            QSizeF mm;
            int width;
            int height;
            bool cut;
        };
        const Case cases[] = {
            {{210, 297}, 600, 849, false}, // A4 as it is
            {{5, 2646}, 600, kMaxPageHeight, true},
            {{5, 2646}, 2000, int(kMaxPagePixels / 2000), true},
        };
        for (const Case& c : cases) {
            QByteArray pdf;
            QBuffer buffer(&pdf);
            QVERIFY(buffer.open(QIODevice::WriteOnly));
            {
                QPdfWriter writer(&buffer);
                writer.setPageSize(QPageSize(c.mm, QPageSize::Millimeter));
                writer.setPageMargins({});
                QPainter painter(&writer);
                painter.fillRect(QRect(0, 0, 100, 100), Qt::black);
            }
            const DrawnPage page = draw_page(pdf, 0, c.width);
            QVERIFY2(!page.image.isNull(), qPrintable(page.why));
            QCOMPARE(page.image.width(), c.width);
            QVERIFY2(qAbs(page.image.height() - c.height) <= 1,
                     qPrintable(QString::number(page.image.height())));
            QCOMPARE(page.cut, c.cut);
            QVERIFY(qint64(page.image.width()) * page.image.height() <= kMaxPagePixels);
            // The note at the foot of a cut page; an uncut page ends white.
            const QRgb foot = page.image.pixel(2, page.image.height() - 2);
            QCOMPARE(foot != qRgb(255, 255, 255), c.cut);
        }
    }

    // A page is cropped to its ink plus a margin (a running footer left out, one word not
    // blown up past the narrowest crop), a blank page stays whole, and a page past the end
    // is the last page.
    void pages_are_cropped_to_their_ink()
    {
        // Three A4 pages in points: a table with a page number far below it, one word, blank.
        QByteArray pdf;
        QBuffer buffer(&pdf);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        {
            QPdfWriter writer(&buffer);
            writer.setResolution(72);
            writer.setPageSize(QPageSize(QSizeF(595, 842), QPageSize::Point));
            writer.setPageMargins({});
            QPainter painter(&writer);
            painter.fillRect(QRectF(60, 60, 270, 340), QColor(40, 40, 40));
            painter.fillRect(QRectF(280, 790, 36, 10), QColor(40, 40, 40));
            writer.newPage();
            painter.fillRect(QRectF(100, 100, 60, 12), QColor(40, 40, 40));
            writer.newPage();
        }
        struct Case
        {
            int index;
            bool crop;
            int drawn;
            double aspect;    // height / width of the picture
            double ink_share; // of the picture's columns with ink
        };
        const Case cases[] = {
            {0, false, 0, 842.0 / 595, 270.0 / 595},
            {0, true, 0, 368.0 / 298, 270.0 / 298},
            {1, true, 1, 40.0 / (595 * kMinCropShare), 60.0 / (595 * kMinCropShare)},
            {2, true, 2, 842.0 / 595, 0},
            {9, true, 2, 842.0 / 595, 0},
        };
        for (const Case& c : cases) {
            const DrawnPage page = draw_page(pdf, c.index, 600, c.crop);
            QVERIFY2(!page.image.isNull(), qPrintable(page.why));
            QCOMPARE(page.page, c.drawn);
            QCOMPARE(page.page_count, 3);
            QCOMPARE(page.image.width(), 600);
            const double aspect = double(page.image.height()) / page.image.width();
            QVERIFY2(qAbs(aspect - c.aspect) < 0.02, qPrintable(QString::number(aspect)));
            int inked = 0;
            for (int x = 0; x < page.image.width(); ++x) {
                for (int y = 0; y < page.image.height(); ++y) {
                    if (qGray(page.image.pixel(x, y)) < 128) {
                        ++inked;
                        break;
                    }
                }
            }
            const double share = double(inked) / page.image.width();
            QVERIFY2(qAbs(share - c.ink_share) < 0.02, qPrintable(QString::number(share)));
        }
    }

    // --- process groups ---

    void group_is_signalled_as_one_and_zombies_do_not_count()
    {
        QProcess process;
        process.setProgram(QStringLiteral("/bin/sh"));
        // A leader with two children of its own.
        process.setArguments({QStringLiteral("-c"), QStringLiteral("sleep 30 & sleep 30 & wait")});
        process.setChildProcessModifier(process_group::become_leader_dying_with_parent);
        process.start();
        QVERIFY(process.waitForStarted());
        const qint64 leader = process.processId();
        QTRY_VERIFY(process_group::alive(leader));
        QCOMPARE(::getpgid(static_cast<pid_t>(leader)), static_cast<pid_t>(leader));
        process_group::signal(leader, SIGKILL);
        QVERIFY(process.waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(!process_group::alive(leader), 5000);
        QVERIFY(!process_group::alive(0));
        QVERIFY(!process_group::alive(-1));
    }

    // --- temporary folders ---

    void folder_is_removed_once_its_group_is_gone_and_the_worker_joined()
    {
        QTemporaryDir root;
        const QString folder = root.path() + QStringLiteral("/pelmora-lo-test");
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/profile/user")));
        QProcess process;
        process.setProgram(QStringLiteral("/bin/sh"));
        process.setArguments({QStringLiteral("-c"), QStringLiteral("sleep 1")});
        process.setChildProcessModifier(process_group::become_leader_dying_with_parent);
        process.start();
        QVERIFY(process.waitForStarted());
        FolderCleaner cleaner;
        cleaner.discard_after(folder, process.processId());
        QTest::qWait(300);
        QVERIFY(QFileInfo::exists(folder)); // still in use
        QVERIFY(process.waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(folder), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(cleaner.pending(), 0, 2000);
    }

    void stale_folders_of_a_killed_run_are_removed_and_live_ones_kept()
    {
        QTemporaryDir root;
        const auto make = [&root](const char* name, qint64 owner) {
            const QString dir = root.path() + QLatin1Char('/') + QLatin1String(name);
            QDir().mkpath(dir + QStringLiteral("/profile"));
            if (owner != 0) {
                QFile file(dir + QStringLiteral("/owner.pid"));
                if (file.open(QIODevice::WriteOnly))
                    file.write(QByteArray::number(owner));
            }
            return dir;
        };
        // A process that has ended: its pid names no one now.
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(0);
        QVERIFY(child > 0);
        ::waitpid(child, nullptr, 0);

        const QString dead = make("pelmora-lo-dead", child);
        const QString live = make("pelmora-lo-live", ::getpid());
        const QString fresh = make("pelmora-lo-unmarked", 0); // just made, no mark yet
        const QString other = make("other-lo-dead", child);
        QCOMPARE(remove_stale_folders(root.path(), QStringLiteral("pelmora-lo-")), 1);
        QVERIFY(!QFileInfo::exists(dead));
        QVERIFY(QFileInfo::exists(live));
        QVERIFY(QFileInfo::exists(fresh));
        QVERIFY(QFileInfo::exists(other));
    }
};

} // namespace pelmora

QTEST_MAIN(pelmora::TestPreviewUnits)
#include "tst_preview_units.moc"
