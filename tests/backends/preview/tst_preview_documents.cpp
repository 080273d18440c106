// SPDX-License-Identifier: GPL-3.0-or-later
// The preview of a realistic document set, made here with the installed LibreOffice: CSV and
// TSV in every common Japanese encoding, HTML, RTF and OOXML under .xls/.doc names, damaged
// and empty files, a long document. Each picture is judged against the picture of the same
// data as a real workbook or document, so mojibake or a page of text-import noise shows.
#include "backends/preview/libreoffice_preview_renderer.h"
#include "office_fixtures.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace std::chrono_literals;

namespace pelmora {

namespace {

constexpr int kWidth = 500;

// Share of pixels whose grey level differs by more than a third of the scale.
double difference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return 1.0;
    qsizetype differ = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > 85)
                ++differ;
        }
    }
    return double(differ) / (qsizetype(a.width()) * a.height());
}

bool write_bytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray read_bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestPreviewDocuments final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir root_;
    QString soffice_;
    QString docs_;
    QString csv_text_;
    QString workbook_; // real .xls from the CSV
    QString xlsx_;     // the same as .xlsx
    QString document_; // real .doc from the RTF
    QString docx_;     // the same as .docx
    QString long_doc_; // 50 pages
    QString three_pages_;
    QImage workbook_picture_;
    QImage document_picture_;
    QImage utf8_picture_;
    std::unique_ptr<LibreOfficePreviewRenderer> renderer_;

    QString put(const QString& name, const QByteArray& bytes)
    {
        const QString path = docs_ + QLatin1Char('/') + name;
        return write_bytes(path, bytes) ? path : QString();
    }

    PreviewResult render(const QString& path)
    {
        return renderer_->render(Path(path), QSize(kWidth, 700));
    }

private Q_SLOTS:
    void initTestCase()
    {
        soffice_ = fixtures::find_soffice();
        if (soffice_.isEmpty())
            QFAIL("LibreOffice (soffice) is not on PATH; these tests judge its pictures");
        QVERIFY(root_.isValid());
        const QString sources = root_.path() + QStringLiteral("/sources");
        docs_ = root_.path() + QStringLiteral("/書類");
        const QString made = root_.path() + QStringLiteral("/made");
        QVERIFY(QDir().mkpath(sources) && QDir().mkpath(docs_) && QDir().mkpath(made));
        qputenv("TMPDIR", QFile::encodeName(root_.path()));

        csv_text_ = fixtures::sample_workbook_csv(40, 2);
        const QString csv = sources + QStringLiteral("/集計表.csv");
        const QString rtf = sources + QStringLiteral("/報告書.rtf");
        QString long_rtf_body;
        for (int page = 1; page <= 50; ++page)
            long_rtf_body +=
                QStringLiteral("{\\fs28 Page %1 of the long report.\\par}\\page\n").arg(page);
        const QString long_rtf = sources + QStringLiteral("/長い報告書.rtf");
        // Page N holds N lines.
        QString three_body;
        for (int page = 1; page <= 3; ++page) {
            for (int line = 1; line <= page; ++line)
                three_body += QStringLiteral("{\\fs28 Page %1, line %2 of three pages.\\par}\n")
                                  .arg(page)
                                  .arg(line);
            three_body += page < 3 ? QStringLiteral("\\page\n") : QString();
        }
        const QString three_rtf = sources + QStringLiteral("/三ページ.rtf");
        QVERIFY(fixtures::write_text(
            three_rtf,
            QStringLiteral("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Liberation Serif;}}\n%1}\n")
                .arg(three_body)));
        QVERIFY(fixtures::write_text(csv, csv_text_));
        QVERIFY(fixtures::write_text(rtf, fixtures::sample_document_rtf(4)));
        QVERIFY(fixtures::write_text(
            long_rtf, QStringLiteral("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Liberation Serif;}}\n"
                                     "{\\b\\fs48 Long report\\par}\n%1}\n")
                          .arg(long_rtf_body)));
        QString log;
        const QStringList xls = fixtures::convert_with_soffice(
            soffice_, {csv}, QStringLiteral("xls"), made, &log, fixtures::csv_utf8_infilter());
        QVERIFY2(xls.size() == 1, qPrintable(log));
        const QStringList xlsx = fixtures::convert_with_soffice(
            soffice_, {csv}, QStringLiteral("xlsx"), made, &log, fixtures::csv_utf8_infilter());
        QVERIFY2(xlsx.size() == 1, qPrintable(log));
        const QStringList doc = fixtures::convert_with_soffice(soffice_, {rtf, long_rtf, three_rtf},
                                                               QStringLiteral("doc"), made, &log);
        QVERIFY2(doc.size() == 3, qPrintable(log));
        const QStringList docx =
            fixtures::convert_with_soffice(soffice_, {rtf}, QStringLiteral("docx"), made, &log);
        QVERIFY2(docx.size() == 1, qPrintable(log));
        workbook_ = xls.at(0);
        xlsx_ = xlsx.at(0);
        document_ = doc.at(0);
        long_doc_ = doc.at(1);
        three_pages_ = doc.at(2);
        docx_ = docx.at(0);

        LibreOfficeOptions options;
        options.time_limit = 120s; // a first start on a busy machine
        renderer_ = std::make_unique<LibreOfficePreviewRenderer>(options);
        renderer_->prepare();
        const PreviewResult workbook = render(workbook_);
        QVERIFY2(workbook.ok(), qPrintable(workbook.message));
        workbook_picture_ = workbook.image;
        const PreviewResult document = render(document_);
        QVERIFY2(document.ok(), qPrintable(document.message));
        document_picture_ = document.image;
        QCOMPARE(workbook_picture_.width(), kWidth);
        QVERIFY(fixtures::ink_pixels(workbook_picture_) > 2000);
    }

    void cleanupTestCase() { renderer_.reset(); }

    void text_tables_under_an_xls_name_show_their_japanese_text_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("CSV, UTF-8") << "utf8.xls" << csv_text_.toUtf8();
        QTest::newRow("CSV, UTF-8 with BOM")
            << "bom.xls" << QByteArray("\xEF\xBB\xBF") + csv_text_.toUtf8();
        QStringEncoder sjis("Shift_JIS");
        QTest::newRow("CSV, Shift_JIS") << "sjis.xls" << QByteArray(sjis.encode(csv_text_));
        QStringEncoder euc("EUC-JP");
        QTest::newRow("CSV, EUC-JP") << "euc.xls" << QByteArray(euc.encode(csv_text_));
        QString tsv = csv_text_;
        tsv.replace(QLatin1Char(','), QLatin1Char('\t'));
        QTest::newRow("TSV, Shift_JIS") << "tsv.xls" << QByteArray(sjis.encode(tsv));
    }

    void text_tables_under_an_xls_name_show_their_japanese_text()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        const PreviewResult result = render(put(name, bytes));
        QVERIFY2(result.ok(), qPrintable(result.message));
        // Against the real workbook only the page header differs (it names the sheet, which
        // a text import names after the file).
        const double diff = difference(result.image, workbook_picture_);
        qInfo("%s: %.4f of the pixels differ from the real workbook's picture", qPrintable(name),
              diff);
        QVERIFY2(diff < 0.06, qPrintable(QString::number(diff)));
        // Every encoding gives the very picture the UTF-8 text gives: no character came out
        // differently.
        if (utf8_picture_.isNull())
            utf8_picture_ = render(put(QStringLiteral("reference.xls"), csv_text_.toUtf8())).image;
        const double against_utf8 = difference(result.image, utf8_picture_);
        QVERIFY2(against_utf8 < 0.0005, qPrintable(QString::number(against_utf8)));
    }

    void the_comparison_sees_mojibake()
    {
        // Shift_JIS bytes behind a UTF-8 byte order mark are read as UTF-8: garbled text, which
        // the comparison above must not mistake for the right picture.
        QVERIFY(!utf8_picture_.isNull());
        QStringEncoder sjis("Shift_JIS");
        const QByteArray garbled = QByteArray("\xEF\xBB\xBF") + QByteArray(sjis.encode(csv_text_));
        const PreviewResult result = render(put(QStringLiteral("mojibake.xls"), garbled));
        QVERIFY2(result.ok(), qPrintable(result.message));
        const double diff = difference(result.image, utf8_picture_);
        qInfo("garbled text: %.4f of the pixels differ", diff);
        QVERIFY2(diff > 0.005, qPrintable(QString::number(diff)));
    }

    void newer_formats_and_text_documents_under_old_names_are_read_by_content()
    {
        // Renamed files look exactly like the originals under their own names.
        for (const QString& original : {xlsx_, docx_}) {
            const PreviewResult own = render(original);
            QVERIFY2(own.ok(), qPrintable(own.message));
            const QString old_name =
                original.endsWith(QLatin1String(".xlsx")) ? "新形式.xls" : "新形式.doc";
            const PreviewResult renamed = render(put(old_name, read_bytes(original)));
            QVERIFY2(renamed.ok(), qPrintable(renamed.message));
            QVERIFY2(difference(renamed.image, own.image) < 0.001,
                     qPrintable(QString::number(difference(renamed.image, own.image))));
        }

        const QByteArray rtf = fixtures::sample_document_rtf(4).toUtf8();
        const PreviewResult as_doc = render(put(QStringLiteral("rtf.doc"), rtf));
        QVERIFY2(as_doc.ok(), qPrintable(as_doc.message));
        QVERIFY2(difference(as_doc.image, document_picture_) < 0.02,
                 qPrintable(QString::number(difference(as_doc.image, document_picture_))));

        // A web page saved under .xls: a table with our data, so it carries ink like the
        // workbook does.
        QString html = QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body><table>");
        for (const QString& line : csv_text_.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            html += QStringLiteral("<tr>");
            for (const QString& cell : line.split(QLatin1Char(',')))
                html += QStringLiteral("<td>") + cell + QStringLiteral("</td>");
            html += QStringLiteral("</tr>");
        }
        html += QStringLiteral("</table></body></html>");
        const PreviewResult web = render(put(QStringLiteral("web.xls"), html.toUtf8()));
        QVERIFY2(web.ok(), qPrintable(web.message));
        QVERIFY(fixtures::ink_pixels(web.image) > fixtures::ink_pixels(workbook_picture_) / 3);
    }

    void damaged_containers_are_called_damaged_never_shown_as_text_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray xls = read_bytes(workbook_);
        const QByteArray doc = read_bytes(document_);
        QTest::newRow("truncated .xls") << "truncated.xls" << xls.left(xls.size() / 3);
        QTest::newRow("truncated .doc") << "truncated.doc" << doc.left(doc.size() / 3);
        QByteArray flipped = xls;
        for (qsizetype i = 512; i < flipped.size(); i += 97)
            flipped[i] = char(flipped.at(i) ^ 0x5A);
        QTest::newRow("bit-flipped .xls") << "flipped.xls" << flipped;
        QByteArray zip = read_bytes(xlsx_);
        QTest::newRow("truncated .xlsx as .xls") << "cut-xlsx.xls" << zip.left(zip.size() / 2);
    }

    void damaged_containers_are_called_damaged_never_shown_as_text()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        const PreviewResult result = render(put(name, bytes));
        if (result.ok()) {
            // LibreOffice repaired it: then it must look like the workbook or document, not
            // like a page of characters.
            const double diff = std::min(difference(result.image, workbook_picture_),
                                         difference(result.image, document_picture_));
            qInfo("%s was repaired; %.4f of the pixels differ", qPrintable(name), diff);
            QVERIFY2(diff < 0.05, qPrintable(QString::number(diff)));
            return;
        }
        QCOMPARE(result.message, QStringLiteral("ファイルが壊れているため表示できません"));
        QCOMPARE(result.error, PreviewError::Damaged);
    }

    void empty_and_foreign_files_say_why()
    {
        const PreviewResult empty = render(put(QStringLiteral("empty.xls"), QByteArray()));
        QCOMPARE(empty.message, QStringLiteral("空のファイル (0 バイト) です"));
        const PreviewResult picture =
            render(put(QStringLiteral("photo.doc"), QByteArray("\x89PNG\r\n\x1a\n\0\0\0\r", 12)));
        QCOMPARE(picture.message, QStringLiteral("文書ファイルとして読み取れません"));
    }

    void long_document_shows_its_first_page_only()
    {
        const int before = renderer_->conversions();
        const PreviewResult result = render(long_doc_);
        QVERIFY2(result.ok(), qPrintable(result.message));
        QCOMPARE(renderer_->conversions(), before + 1);
        // One page in portrait: the picture is one A4/Letter page tall, not fifty.
        const double ratio = double(result.image.height()) / result.image.width();
        QVERIFY2(ratio > 1.25 && ratio < 1.5, qPrintable(QString::number(ratio)));
        QVERIFY(fixtures::ink_pixels(result.image) > 100);
        // A wider request draws the remembered page again without converting.
        QCOMPARE(renderer_->render(Path(long_doc_), QSize(900, 700)).image.width(), 900);
        QCOMPARE(renderer_->conversions(), before + 1);
    }

    void pages_turn_through_the_whole_document()
    {
        std::vector<QImage> pictures;
        for (int page = 0; page < 4; ++page) {
            const PreviewResult result = renderer_->render_page(
                PageRequest{Path(three_pages_), QSize(kWidth, 700), page, false});
            QVERIFY2(result.ok(), qPrintable(result.message));
            QCOMPARE(result.page, std::min(page, 2));
            if (page > 0)
                QCOMPARE(result.page_count, 3);
            QVERIFY(fixtures::ink_pixels(result.image) > 100);
            pictures.push_back(result.image);
        }
        // Page N holds N lines: each picture carries clearly more ink than the one before.
        for (int a = 1; a < 3; ++a) {
            const qsizetype before = fixtures::ink_pixels(pictures[a - 1]);
            const qsizetype now = fixtures::ink_pixels(pictures[a]);
            QVERIFY2(now > before * 3 / 2,
                     qPrintable(QStringLiteral("page %1: %2 inked pixels, page %3: %4")
                                    .arg(a)
                                    .arg(before)
                                    .arg(a + 1)
                                    .arg(now)));
        }
        QCOMPARE(pictures[3], pictures[2]); // past the end: the last page
    }
};

} // namespace pelmora

QTEST_MAIN(pelmora::TestPreviewDocuments)
#include "tst_preview_documents.moc"
