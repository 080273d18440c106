// SPDX-License-Identifier: GPL-3.0-or-later
// The LibreOffice renderer driven by stand-in soffice scripts: picture geometry, the memory
// of pictures, the resident offices' life cycle, failures with their reasons, the import
// chosen by content, newer requests overtaking older ones, and the event loop while waiting.
// The stand-ins copy a PDF drawn here, so these tests need no LibreOffice; a stand-in bwrap
// runs them as they are (the real jail is tried in tst_preview_libreoffice).
#include "backends/preview/libreoffice_preview_renderer.h"
#include "base/native_path.h"
#include "office_fixtures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(pelmora::PreviewError)
Q_DECLARE_METATYPE(pelmora::LibreOfficeMode)

using namespace std::chrono_literals;

namespace pelmora {
namespace {

// The start of an Excel compound file: signature, then the directory's Workbook entry.
const QByteArray kMinimalOle = QByteArrayLiteral("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") +
                               QByteArray(504, '\0') +
                               QByteArrayLiteral("W\0o\0r\0k\0b\0o\0o\0k\0");

// Alive means running: a zombie waiting for its reaper no longer counts.
bool process_alive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && close + 2 < line.size() && line.at(close + 2) != 'Z';
}

struct CallLog
{
    QStringList servers;  // "<pid> <profile>"
    QStringList converts; // "<pid> <profile> <input>"; input.copy keeps the last input
};

} // namespace

class TestPreviewRenderer final : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir root_;
    QString tmp_;   // TMPDIR while the tests run
    QString docs_;  // input documents
    QString fakes_; // stand-in programs and their logs
    QString portrait_pdf_;
    QString landscape_pdf_;
    QString sandbox_; // stand-in bwrap
    int fake_count_ = 0;

    QString make_text_doc(const QString& name, const QByteArray& content)
    {
        const QString path = docs_ + QLatin1Char('/') + name;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(content) != content.size())
            return {};
        return path;
    }

    QString make_doc(const QString& name, const QByteArray& content = kMinimalOle)
    {
        const QString path = docs_ + QLatin1Char('/') + name;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return {};
        file.write(content);
        file.write(QByteArray(512, '\0'));
        return path;
    }

    // A stand-in soffice. Started on a document without --convert-to it plays the resident
    // office (server_body, default: take the lock and stay); with --convert-to it runs
    // convert_body with $input, $outdir and $base set. Every call is logged.
    QString make_fake(const QString& convert_body, const QString& server_body = {})
    {
        const QString dir = fakes_ + QStringLiteral("/fake%1").arg(++fake_count_);
        QDir().mkpath(dir);
        const QString script =
            QStringLiteral(
                "#!/bin/sh\n"
                "log='%1/calls.log'\n"
                "convert=; outdir=; input=; profile=; expect=\n"
                "for arg in \"$@\"; do\n"
                "  if [ \"$expect\" = outdir ]; then outdir=\"$arg\"; expect=; continue; fi\n"
                "  if [ \"$expect\" = format ]; then expect=; continue; fi\n"
                "  case \"$arg\" in\n"
                "    -env:UserInstallation=*) profile=\"${arg#-env:UserInstallation=}\";;\n"
                "    --convert-to) convert=1; expect=format;;\n"
                "    --outdir) expect=outdir;;\n"
                "    -*) ;;\n"
                "    *) input=\"$arg\";;\n"
                "  esac\n"
                "done\n"
                "if [ -z \"$convert\" ]; then\n"
                "  echo \"server $$ $profile\" >> \"$log\"\n"
                "%2\n"
                "  exit 0\n"
                "fi\n"
                "echo \"convert $$ $profile $input\" >> \"$log\"\n"
                "cp \"$input\" '%1/input.copy'\n"
                "name=$(basename \"$input\"); base=\"${name%.*}\"\n"
                "%3\n")
                .arg(dir,
                     server_body.isEmpty()
                         ? QStringLiteral("  : > \"$(dirname \"$input\")/.~lock.$(basename "
                                          "\"$input\")#\"\n  while :; do sleep 1; done")
                         : server_body,
                     convert_body);
        const QString path = dir + QStringLiteral("/soffice");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(script.toUtf8()) < 0)
            return {};
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    QString copy_pdf(const QString& pdf) const
    {
        return QStringLiteral("cp '%1' \"$outdir/$base.pdf\"").arg(pdf);
    }

    static CallLog calls(const QString& fake)
    {
        CallLog log;
        QFile file(QFileInfo(fake).absolutePath() + QStringLiteral("/calls.log"));
        if (!file.open(QIODevice::ReadOnly))
            return log;
        for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("server ")))
                log.servers << line.mid(7);
            else if (line.startsWith(QLatin1String("convert ")))
                log.converts << line.mid(8);
        }
        return log;
    }

    static qint64 logged_pid(const QString& entry) { return entry.section(' ', 0, 0).toLongLong(); }
    static QString logged_profile(const QString& entry) { return entry.section(' ', 1, 1); }

    LibreOfficeOptions options_for(const QString& program, LibreOfficeMode mode) const
    {
        LibreOfficeOptions options;
        options.program = program;
        options.sandbox = sandbox_;
        options.mode = mode;
        options.time_limit = 10s;
        options.resident_offices = 1;
        return options;
    }

    QStringList leftovers(const QString& pattern) const
    {
        return QDir(tmp_).entryList({pattern}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    static void add_modes()
    {
        QTest::addColumn<LibreOfficeMode>("mode");
        QTest::newRow("resident") << LibreOfficeMode::Resident;
        QTest::newRow("one-shot") << LibreOfficeMode::OneShot;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(root_.isValid());
        tmp_ = root_.path() + QStringLiteral("/tmp");
        docs_ = root_.path() + QStringLiteral("/docs");
        fakes_ = root_.path() + QStringLiteral("/fakes");
        QVERIFY(QDir().mkpath(tmp_) && QDir().mkpath(docs_) && QDir().mkpath(fakes_));
        // Everything the renderer leaves in the temporary folder shows up here.
        qputenv("TMPDIR", QFile::encodeName(tmp_));
        QCOMPARE(QDir::tempPath(), tmp_);

        portrait_pdf_ = fakes_ + QStringLiteral("/portrait.pdf");
        landscape_pdf_ = fakes_ + QStringLiteral("/landscape.pdf");
        QVERIFY(fixtures::write_two_page_pdf(portrait_pdf_, QSizeF(595, 842)));
        QVERIFY(fixtures::write_two_page_pdf(landscape_pdf_, QSizeF(842, 595)));

        sandbox_ = fakes_ + QStringLiteral("/bwrap");
        QFile bwrap(sandbox_);
        QVERIFY(bwrap.open(QIODevice::WriteOnly));
        bwrap.write("#!/bin/sh\n"
                    "while [ $# -gt 0 ] && [ \"$1\" != -- ]; do shift; done\n"
                    "shift\n"
                    "exec \"$@\"\n");
        bwrap.close();
        bwrap.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // The bytes the stand-in was last given to convert.
    static QByteArray last_input(const QString& fake)
    {
        QFile file(QFileInfo(fake).absolutePath() + QStringLiteral("/input.copy"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static QByteArray bytes_of(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
    }

    // --- the picture ---

    void picture_fits_pane_width_keeping_aspect_ratio_data()
    {
        QTest::addColumn<bool>("landscape");
        QTest::addColumn<QSize>("pane");
        QTest::newRow("portrait, pane wider than page") << false << QSize(400, 300);
        QTest::newRow("portrait, pane taller than page") << false << QSize(300, 600);
        QTest::newRow("landscape, pane taller than page") << true << QSize(400, 600);
        QTest::newRow("landscape, pane wider than page") << true << QSize(900, 300);
        QTest::newRow("tiny pane") << false << QSize(7, 5);
    }

    void picture_fits_pane_width_keeping_aspect_ratio()
    {
        QFETCH(bool, landscape);
        QFETCH(QSize, pane);
        const QString pdf = landscape ? landscape_pdf_ : portrait_pdf_;
        LibreOfficePreviewRenderer renderer(
            options_for(make_fake(copy_pdf(pdf)), LibreOfficeMode::OneShot));

        const PreviewResult result = renderer.render(Path(make_doc(QStringLiteral("a.xls"))), pane);
        QVERIFY2(result.ok(), qPrintable(result.message));
        QVERIFY(result.message.isEmpty());
        const QSize size = result.image.size();
        // As wide as the pane; the height follows the page, the pane scrolls.
        QCOMPARE(size.width(), pane.width());
        const double page_ratio = landscape ? 842.0 / 595.0 : 595.0 / 842.0; // width / height
        QVERIFY2(std::abs(size.height() - size.width() / page_ratio) <= 1.0,
                 qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
    }

    void picture_shows_only_the_first_page_on_white()
    {
        LibreOfficePreviewRenderer renderer(
            options_for(make_fake(copy_pdf(portrait_pdf_)), LibreOfficeMode::OneShot));
        const PreviewResult result =
            renderer.render(Path(make_doc(QStringLiteral("b.doc"))), QSize(300, 424));
        QVERIFY2(result.ok(), qPrintable(result.message));
        const QImage& image = result.image;
        const int w = image.width();
        const int h = image.height();
        // Page 1 has its bar on the left, page 2 on the right.
        QVERIFY(qGray(image.pixel(w / 10, h / 2)) < 60);
        QCOMPARE(image.pixel(w * 9 / 10, h / 2), qRgb(255, 255, 255));
        // The disc in the middle is drawn, the page around it is white, not transparent.
        QVERIFY(qGray(image.pixel(w / 2, h / 2)) < 60);
        QCOMPARE(image.pixel(w * 3 / 5, h / 10), qRgb(255, 255, 255));
        QVERIFY(!image.hasAlphaChannel());
    }

    void picture_is_antialiased()
    {
        LibreOfficePreviewRenderer renderer(
            options_for(make_fake(copy_pdf(portrait_pdf_)), LibreOfficeMode::OneShot));
        const PreviewResult result =
            renderer.render(Path(make_doc(QStringLiteral("c.xls"))), QSize(300, 424));
        QVERIFY2(result.ok(), qPrintable(result.message));
        // The disc's rim, about 2*pi*50 pixels long, comes out in shades of grey.
        QVERIFY2(fixtures::grey_pixels(result.image) > 100,
                 qPrintable(QString::number(fixtures::grey_pixels(result.image))));
    }

    void converter_reads_the_selected_file_whatever_its_name()
    {
        const QString fake = make_fake(copy_pdf(portrait_pdf_));
        LibreOfficePreviewRenderer renderer(options_for(fake, LibreOfficeMode::OneShot));
        const QString path = make_doc(QStringLiteral("売上 集計 #1,(最終).xls"));
        const PreviewResult result = renderer.render(Path(path), QSize(200, 200));
        QVERIFY2(result.ok(), qPrintable(result.message));
        const CallLog log = calls(fake);
        QCOMPARE(log.converts.size(), 1);
        // A copy in the office's private folder, never the user's folder.
        QVERIFY2(log.converts.first().contains(tmp_ + QStringLiteral("/pelmora-lo-")),
                 qPrintable(log.converts.first()));
        QCOMPARE(last_input(fake), bytes_of(path));
    }

    // --- the memory of pictures ---

    void same_request_is_served_from_memory_data() { add_modes(); }
    void same_request_is_served_from_memory()
    {
        QFETCH(LibreOfficeMode, mode);
        const QString fake = make_fake(copy_pdf(portrait_pdf_));
        LibreOfficePreviewRenderer renderer(options_for(fake, mode));
        const QString path = make_doc(QStringLiteral("memo.doc"));

        const PreviewResult first = renderer.render(Path(path), QSize(320, 240));
        QVERIFY2(first.ok(), qPrintable(first.message));
        const PreviewResult second = renderer.render(Path(path), QSize(320, 240));
        QVERIFY2(second.ok(), qPrintable(second.message));
        QCOMPARE(renderer.conversions(), 1);
        QCOMPARE(calls(fake).converts.size(), 1);
        QCOMPARE(second.image, first.image);
    }

    void other_width_is_redrawn_and_other_file_version_converted_again()
    {
        const QString fake = make_fake(copy_pdf(portrait_pdf_));
        LibreOfficePreviewRenderer renderer(options_for(fake, LibreOfficeMode::OneShot));
        const QString path = make_doc(QStringLiteral("version.xls"));

        QVERIFY(renderer.render(Path(path), QSize(320, 240)).ok());
        // Another width draws the remembered first page again; another height is the same
        // picture.
        const PreviewResult wider = renderer.render(Path(path), QSize(400, 240));
        QVERIFY(wider.ok());
        QCOMPARE(wider.image.width(), 400);
        QCOMPARE(renderer.render(Path(path), QSize(320, 999)).image.width(), 320);
        QCOMPARE(renderer.conversions(), 1);
        QCOMPARE(calls(fake).converts.size(), 1);
        QVERIFY(renderer.render(Path(path), QSize(320, 241)).ok());
        QCOMPARE(renderer.conversions(), 1);
        renderer.clear_cache();
        QVERIFY(renderer.render(Path(path), QSize(320, 240)).ok());
        QCOMPARE(renderer.conversions(), 2);

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(file.fileTime(QFileDevice::FileModificationTime).addSecs(5),
                                 QFileDevice::FileModificationTime));
        file.close();
        QVERIFY(renderer.render(Path(path), QSize(320, 240)).ok());
        QCOMPARE(renderer.conversions(), 3);

        // Rewritten with another length but the old time stamp put back.
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QDateTime stamp = file.fileTime(QFileDevice::FileModificationTime);
        file.seek(file.size());
        file.write("more");
        QVERIFY(file.flush()); // the write must land before the stamp is put back
        QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
        file.close();
        QCOMPARE(QFileInfo(path).lastModified(), stamp);
        QVERIFY(renderer.render(Path(path), QSize(320, 240)).ok());
        QCOMPARE(renderer.conversions(), 4);

        QVERIFY(renderer.render(Path(path), QSize(320, 240)).ok());
        QCOMPARE(renderer.conversions(), 4);
        renderer.clear_cache();
        QVERIFY(renderer.render(Path(path), QSize(320, 240)).ok());
        QCOMPARE(renderer.conversions(), 5);
    }

    void memory_limit_drops_least_recently_shown_first()
    {
        const QString fake = make_fake(copy_pdf(portrait_pdf_));
        LibreOfficeOptions options = options_for(fake, LibreOfficeMode::OneShot);
        // 100x141 RGB32 pictures take about 56 KB each: room for two.
        options.cache_limit_bytes = 120'000;
        LibreOfficePreviewRenderer renderer(options);
        const QString a = make_doc(QStringLiteral("lru-a.xls"));
        const QString b = make_doc(QStringLiteral("lru-b.xls"));
        const QString c = make_doc(QStringLiteral("lru-c.xls"));
        const QSize pane(100, 141);

        QVERIFY(renderer.render(Path(a), pane).ok());
        QVERIFY(renderer.render(Path(b), pane).ok());
        QVERIFY(renderer.render(Path(a), pane).ok()); // a is now the most recent
        QCOMPARE(renderer.conversions(), 2);
        QVERIFY(renderer.render(Path(c), pane).ok()); // pushes b out
        QCOMPARE(renderer.conversions(), 3);
        QVERIFY(renderer.render(Path(a), pane).ok());
        QCOMPARE(renderer.conversions(), 3);
        QVERIFY(renderer.render(Path(b), pane).ok());
        QCOMPARE(renderer.conversions(), 4);
    }

    void failures_are_not_remembered()
    {
        const QString once = fakes_ + QStringLiteral("/fail-once");
        QVERIFY(fixtures::write_text(once, QStringLiteral("x")));
        const QString fake =
            make_fake(QStringLiteral("if [ -e '%1' ]; then rm '%1'; exit 2; fi\n%2")
                          .arg(once, copy_pdf(portrait_pdf_)));
        LibreOfficePreviewRenderer renderer(options_for(fake, LibreOfficeMode::OneShot));
        const QString path = make_text_doc(QStringLiteral("retry.xls"), "a,b\n1,2\n");
        QCOMPARE(renderer.render(Path(path), QSize(100, 100)).error, PreviewError::ConverterFailed);
        const PreviewResult again = renderer.render(Path(path), QSize(100, 100));
        QVERIFY2(again.ok(), qPrintable(again.message));
        QCOMPARE(renderer.conversions(), 2);
    }

    // --- the resident office ---

    void resident_office_serves_every_conversion()
    {
        const QString fake = make_fake(copy_pdf(portrait_pdf_));
        LibreOfficePreviewRenderer renderer(options_for(fake, LibreOfficeMode::Resident));
        for (const QString& name :
             {QStringLiteral("r1.xls"), QStringLiteral("r2.doc"), QStringLiteral("r3.xls")}) {
            const PreviewResult result = renderer.render(Path(make_doc(name)), QSize(200, 280));
            QVERIFY2(result.ok(), qPrintable(result.message));
        }
        const CallLog log = calls(fake);
        QCOMPARE(log.servers.size(), 1);
        QCOMPARE(renderer.resident_starts(), 1);
        QCOMPARE(log.converts.size(), 3);
        // Every request is addressed to the resident office's profile.
        for (const QString& entry : log.converts)
            QCOMPARE(logged_profile(entry), logged_profile(log.servers.first()));
        QVERIFY(process_alive(logged_pid(log.servers.first())));
    }

    void prepare_starts_the_office_ahead()
    {
        const QString fake = make_fake(copy_pdf(portrait_pdf_));
        LibreOfficePreviewRenderer renderer(options_for(fake, LibreOfficeMode::Resident));
        renderer.prepare();
        QTRY_COMPARE_WITH_TIMEOUT(calls(fake).servers.size(), 1, 5000);
        QCOMPARE(renderer.conversions(), 0);
        renderer.prepare(); // already running: no second office
        QVERIFY(renderer.render(Path(make_doc(QStringLiteral("p.xls"))), QSize(100, 100)).ok());
        QCOMPARE(calls(fake).servers.size(), 1);
        QCOMPARE(renderer.resident_starts(), 1);
    }

    void offices_start_one_after_the_other_and_stop_when_unused()
    {
        // Each stand-in office takes a second to get ready.
        const QString fake = make_fake(
            copy_pdf(portrait_pdf_),
            QStringLiteral("  sleep 1\n"
                           "  : > \"$(dirname \"$input\")/.~lock.$(basename \"$input\")#\"\n"
                           "  while :; do sleep 1; done"));
        LibreOfficeOptions options = options_for(fake, LibreOfficeMode::Resident);
        options.resident_offices = 2;
        options.idle_stop = 3s;
        LibreOfficePreviewRenderer renderer(options);
        renderer.prepare();
        QTRY_COMPARE_WITH_TIMEOUT(calls(fake).servers.size(), 1, 5000);
        QTest::qWait(400);
        QCOMPARE(calls(fake).servers.size(), 1); // the first is not ready yet
        QTRY_COMPARE_WITH_TIMEOUT(calls(fake).servers.size(), 2, 5000);
        QCOMPARE(renderer.office_groups().size(), std::size_t{2});
        // Nothing asked for since: both stop.
        QTRY_VERIFY_WITH_TIMEOUT(renderer.office_groups().empty(), 8000);
        for (const QString& server : calls(fake).servers)
            QTRY_VERIFY_WITH_TIMEOUT(!process_alive(logged_pid(server)), 5000);
        // Warmed up while the user is idle: one office, at a low priority.
        renderer.warm_up();
        QTRY_COMPARE_WITH_TIMEOUT(calls(fake).servers.size(), 3, 5000);
        QTest::qWait(1500);
        QCOMPARE(renderer.office_groups().size(), std::size_t{1});
        QFile stat(QStringLiteral("/proc/%1/stat").arg(renderer.office_groups().front()));
        QVERIFY(stat.open(QIODevice::ReadOnly));
        const QByteArray line = stat.readAll();
        // Fields after the command's closing parenthesis: state is the first, nice the 17th.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        QCOMPARE(fields.value(16).toInt(), options.warm_up_niceness);
    }

    // A later page reads the whole document once; its count comes with it, and a page past
    // the end is the last page.
    void later_pages_read_the_whole_document_once()
    {
        const QString fake = make_fake(copy_pdf(portrait_pdf_));
        LibreOfficePreviewRenderer renderer(options_for(fake, LibreOfficeMode::OneShot));
        const QString doc = make_doc(QStringLiteral("pages.xls"));
        struct Step
        {
            int page;
            int drawn;
            int count;
            int conversions;
        };
        const Step steps[] = {{0, 0, 0, 1}, {1, 1, 2, 2}, {5, 1, 2, 2}, {0, 0, 2, 2}};
        for (const Step& step : steps) {
            const PreviewResult result =
                renderer.render_page(PageRequest{Path(doc), QSize(200, 280), step.page, false});
            QVERIFY2(result.ok(), qPrintable(result.message));
            QCOMPARE(result.page, step.drawn);
            QCOMPARE(result.page_count, step.count);
            QCOMPARE(renderer.conversions(), step.conversions);
            // Page 2 has its bar on the right.
            QCOMPARE(qGray(result.image.pixel(195, 140)) < 128, step.drawn == 1);
        }
    }

    void one_shot_mode_keeps_one_profile_and_no_office()
    {
        const QString fake = make_fake(copy_pdf(portrait_pdf_));
        LibreOfficePreviewRenderer renderer(options_for(fake, LibreOfficeMode::OneShot));
        QVERIFY(renderer.render(Path(make_doc(QStringLiteral("o1.xls"))), QSize(100, 100)).ok());
        QVERIFY(renderer.render(Path(make_doc(QStringLiteral("o2.xls"))), QSize(100, 100)).ok());
        const CallLog log = calls(fake);
        QVERIFY(log.servers.isEmpty());
        QCOMPARE(renderer.resident_starts(), 0);
        QCOMPARE(log.converts.size(), 2);
        QCOMPARE(logged_profile(log.converts.at(0)), logged_profile(log.converts.at(1)));
    }

    void office_and_temporary_folders_go_with_the_renderer()
    {
        const QString fake = make_fake(copy_pdf(portrait_pdf_));
        {
            LibreOfficePreviewRenderer renderer(options_for(fake, LibreOfficeMode::Resident));
            QVERIFY(renderer.render(Path(make_doc(QStringLiteral("t.xls"))), QSize(100, 100)).ok());
            QVERIFY(leftovers(QStringLiteral("pelmora-preview-*")).isEmpty());
            QCOMPARE(leftovers(QStringLiteral("pelmora-lo-*")).size(), 1);
        }
        const CallLog log = calls(fake);
        QCOMPARE(log.servers.size(), 1);
        QVERIFY(!process_alive(logged_pid(log.servers.first())));
        QVERIFY2(leftovers(QStringLiteral("pelmora-*")).isEmpty(),
                 qPrintable(leftovers(QStringLiteral("pelmora-*")).join(' ')));
    }

    void office_is_restarted_after_a_time_out()
    {
        const QString once = fakes_ + QStringLiteral("/hang-once");
        QVERIFY(fixtures::write_text(once, QStringLiteral("x")));
        const QString fake =
            make_fake(QStringLiteral("if [ -e '%1' ]; then rm '%1'; sleep 30; fi\n%2")
                          .arg(once, copy_pdf(portrait_pdf_)));
        LibreOfficeOptions options = options_for(fake, LibreOfficeMode::Resident);
        options.time_limit = 1500ms;
        LibreOfficePreviewRenderer renderer(options);

        const PreviewResult stuck =
            renderer.render(Path(make_doc(QStringLiteral("h.xls"))), QSize(90, 90));
        QCOMPARE(stuck.error, PreviewError::TimedOut);
        const CallLog first = calls(fake);
        QCOMPARE(first.servers.size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!process_alive(logged_pid(first.servers.first())), 5000);

        const PreviewResult next =
            renderer.render(Path(make_doc(QStringLiteral("h2.xls"))), QSize(90, 90));
        QVERIFY2(next.ok(), qPrintable(next.message));
        QCOMPARE(calls(fake).servers.size(), 2);
        QCOMPARE(renderer.resident_starts(), 2);
    }

    void office_that_ends_during_start_up_is_reported()
    {
        const QString fake = make_fake(copy_pdf(portrait_pdf_), QStringLiteral("  exit 1"));
        LibreOfficePreviewRenderer renderer(options_for(fake, LibreOfficeMode::Resident));
        const PreviewResult result =
            renderer.render(Path(make_doc(QStringLiteral("s.xls"))), QSize(90, 90));
        QCOMPARE(result.error, PreviewError::ConverterFailed);
        QVERIFY(!result.message.isEmpty());
        QVERIFY(result.image.isNull());
        QVERIFY(calls(fake).converts.isEmpty());
    }

    void office_that_never_gets_ready_times_out()
    {
        const QString fake =
            make_fake(copy_pdf(portrait_pdf_), QStringLiteral("  while :; do sleep 1; done"));
        LibreOfficeOptions options = options_for(fake, LibreOfficeMode::Resident);
        options.time_limit = 800ms;
        LibreOfficePreviewRenderer renderer(options);
        const PreviewResult result =
            renderer.render(Path(make_doc(QStringLiteral("n.xls"))), QSize(90, 90));
        QCOMPARE(result.error, PreviewError::TimedOut);
        QVERIFY(!result.message.isEmpty());
        const CallLog log = calls(fake);
        QCOMPARE(log.servers.size(), 1);
        QVERIFY(log.converts.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!process_alive(logged_pid(log.servers.first())), 5000);
    }

    // --- failures ---

    void no_sandbox_means_no_conversion_data()
    {
        QTest::addColumn<LibreOfficeMode>("mode");
        QTest::addColumn<QString>("bwrap_body"); // empty: bwrap is not installed
        const QString refused =
            QStringLiteral("echo 'bwrap: No permissions to creating new namespace' >&2\nexit 1");
        QTest::newRow("resident, not installed") << LibreOfficeMode::Resident << QString();
        QTest::newRow("resident, namespaces refused") << LibreOfficeMode::Resident << refused;
        QTest::newRow("one-shot, namespaces refused") << LibreOfficeMode::OneShot << refused;
    }

    // Where the jail cannot be made the office never runs, not even unconfined.
    void no_sandbox_means_no_conversion()
    {
        QFETCH(LibreOfficeMode, mode);
        QFETCH(QString, bwrap_body);
        const QString fake = make_fake(copy_pdf(portrait_pdf_));
        LibreOfficeOptions options = options_for(fake, mode);
        options.sandbox = QFileInfo(fake).absolutePath() + QStringLiteral("/bwrap");
        if (!bwrap_body.isEmpty()) {
            QFile bwrap(options.sandbox);
            QVERIFY(bwrap.open(QIODevice::WriteOnly));
            bwrap.write("#!/bin/sh\n" + bwrap_body.toUtf8() + '\n');
            bwrap.close();
            bwrap.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        LibreOfficePreviewRenderer renderer(options);
        renderer.prepare();
        const PreviewResult result =
            renderer.render(Path(make_doc(QStringLiteral("x.xls"))), {90, 90});
        QCOMPARE(result.error, PreviewError::NoSandbox);
        QVERIFY(result.image.isNull());
        QVERIFY2(result.message.contains(bwrap_body.isEmpty()
                                             ? QStringLiteral("インストールされていません")
                                             : QStringLiteral("隔離して実行できない")),
                 qPrintable(result.message));
        QTest::qWait(200); // an office started anyway would have logged itself by now
        const CallLog log = calls(fake);
        QVERIFY(log.servers.isEmpty());
        QVERIFY(log.converts.isEmpty());
        QCOMPARE(renderer.conversions(), 0);
    }

    void unusable_input_is_refused_without_conversion_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("pane");
        QTest::addColumn<PreviewError>("expected");
        QTest::newRow("empty path") << QString() << QSize(100, 100) << PreviewError::NoFile;
        QTest::newRow("missing file") << docs_ + QStringLiteral("/nothing-here.xls")
                                      << QSize(100, 100) << PreviewError::NoFile;
        QTest::newRow("a folder") << docs_ << QSize(100, 100) << PreviewError::NoFile;
        QTest::newRow("a picture named .xls")
            << make_doc(QStringLiteral("photo.xls"),
                        QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10", 20))
            << QSize(100, 100) << PreviewError::NotADocument;
        QTest::newRow("binary noise named .doc")
            << make_doc(QStringLiteral("noise.doc"), QByteArray("\x01\x02\x03\x04\xfe\x7f", 6))
            << QSize(100, 100) << PreviewError::NotADocument;
        const QString empty = make_doc(QStringLiteral("empty.doc"));
        QFile::resize(empty, 0);
        QTest::newRow("empty file") << empty << QSize(100, 100) << PreviewError::NotADocument;
        QTest::newRow("empty pane")
            << make_doc(QStringLiteral("fine.xls")) << QSize(0, 100) << PreviewError::BadPane;
        QTest::newRow("invalid pane")
            << make_doc(QStringLiteral("fine2.xls")) << QSize() << PreviewError::BadPane;
    }

    void unusable_input_is_refused_without_conversion()
    {
        QFETCH(QString, path);
        QFETCH(QSize, pane);
        QFETCH(PreviewError, expected);
        const QString fake = make_fake(copy_pdf(portrait_pdf_));
        LibreOfficePreviewRenderer renderer(options_for(fake, LibreOfficeMode::Resident));
        const PreviewResult result = renderer.render(Path(path), pane);
        QCOMPARE(result.error, expected);
        QVERIFY(!result.ok());
        QVERIFY(result.image.isNull());
        QVERIFY(!result.message.isEmpty());
        QCOMPARE(renderer.conversions(), 0);
        QVERIFY(calls(fake).servers.isEmpty());
    }

    void text_and_rtf_documents_are_accepted()
    {
        const QString fake = make_fake(copy_pdf(portrait_pdf_));
        LibreOfficePreviewRenderer renderer(options_for(fake, LibreOfficeMode::OneShot));
        const QString csv = docs_ + QStringLiteral("/table.xls");
        const QString rtf = docs_ + QStringLiteral("/letter.doc");
        QVERIFY(fixtures::write_text(csv, fixtures::sample_workbook_csv(5, 1)));
        QVERIFY(fixtures::write_text(rtf, fixtures::sample_document_rtf(1)));
        QVERIFY(renderer.render(Path(csv), QSize(100, 100)).ok());
        QVERIFY(renderer.render(Path(rtf), QSize(100, 100)).ok());
        QCOMPARE(renderer.conversions(), 2);
    }

    void missing_program_is_reported_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("absolute path") << root_.path() + QStringLiteral("/no/such/soffice");
        QTest::newRow("name not on PATH") << QStringLiteral("pelmora-no-such-office");
        QTest::newRow("not executable") << portrait_pdf_;
    }

    void missing_program_is_reported()
    {
        QFETCH(QString, program);
        for (const LibreOfficeMode mode : {LibreOfficeMode::Resident, LibreOfficeMode::OneShot}) {
            LibreOfficePreviewRenderer renderer(options_for(program, mode));
            QVERIFY(renderer.program().isEmpty());
            renderer.prepare(); // nothing to start; must not crash
            const PreviewResult result =
                renderer.render(Path(make_doc(QStringLiteral("m.xls"))), QSize(100, 100));
            QCOMPARE(result.error, PreviewError::NoConverter);
            QVERIFY(result.message.contains(QStringLiteral("LibreOffice")));
            QCOMPARE(renderer.conversions(), 0);
        }
    }

    void converter_failures_are_reported_data()
    {
        QTest::addColumn<LibreOfficeMode>("mode");
        QTest::addColumn<QString>("body");
        QTest::addColumn<PreviewError>("expected");
        for (const auto& entry : {std::pair{LibreOfficeMode::Resident, "resident"},
                                  std::pair{LibreOfficeMode::OneShot, "one-shot"}}) {
            const LibreOfficeMode mode = entry.first;
            const char* const label = entry.second;
            const auto row = [&](const char* what) -> QTestData& {
                return QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(label, what)));
            };
            row("error exit") << mode << QStringLiteral("echo 'Error: boom' >&2; exit 3")
                              << PreviewError::ConverterFailed;
            row("killed by a signal")
                << mode << QStringLiteral("kill -SEGV $$") << PreviewError::ConverterFailed;
            row("no PDF written") << mode
                                  << QStringLiteral("echo 'Error: source file could not "
                                                    "be loaded'; exit 0")
                                  << PreviewError::NoOutput;
            row("broken PDF") << mode << QStringLiteral("echo 'not a pdf' > \"$outdir/$base.pdf\"")
                              << PreviewError::RenderFailed;
            row("empty PDF") << mode << QStringLiteral(": > \"$outdir/$base.pdf\"")
                             << PreviewError::RenderFailed;
        }
    }

    void converter_failures_are_reported()
    {
        QFETCH(LibreOfficeMode, mode);
        QFETCH(QString, body);
        QFETCH(PreviewError, expected);
        LibreOfficePreviewRenderer renderer(options_for(make_fake(body), mode));
        // Text content: a failure is the converter's, not a sign of a damaged container.
        const PreviewResult result = renderer.render(
            Path(make_text_doc(QStringLiteral("f.xls"), "a,b\n1,2\n")), QSize(100, 100));
        QCOMPARE(result.error, expected);
        QVERIFY(result.image.isNull());
        QVERIFY(!result.message.isEmpty());
        QCOMPARE(renderer.conversions(), 1);
        QVERIFY(leftovers(QStringLiteral("pelmora-preview-*")).isEmpty());
    }

    void failed_container_is_called_damaged_data()
    {
        QTest::addColumn<QString>("body");
        QTest::newRow("no PDF written")
            << QStringLiteral("echo 'Error: source file could not be loaded'; exit 0");
        QTest::newRow("error exit") << QStringLiteral("exit 1");
        QTest::newRow("broken PDF") << QStringLiteral("echo 'x' > \"$outdir/$base.pdf\"");
    }

    void failed_container_is_called_damaged()
    {
        QFETCH(QString, body);
        LibreOfficePreviewRenderer renderer(
            options_for(make_fake(body), LibreOfficeMode::Resident));
        const PreviewResult result =
            renderer.render(Path(make_doc(QStringLiteral("broken.xls"))), QSize(100, 100));
        QCOMPARE(result.error, PreviewError::Damaged);
        QCOMPARE(result.message, QStringLiteral("ファイルが壊れているため表示できません"));
        QVERIFY(result.image.isNull());
    }

    void password_protected_files_are_refused_without_conversion_data()
    {
        QTest::addColumn<QByteArray>("content");
        const QByteArray ole = QByteArrayLiteral("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
        const auto utf16 = [](const char* text) {
            QByteArray out;
            for (const char* c = text; *c; ++c)
                out.append(*c).append('\0');
            return out;
        };
        QTest::newRow("encrypted .xlsx content")
            << ole + QByteArray(504, '\0') + utf16("EncryptedPackage") + utf16("EncryptionInfo");
        // BOF of the workbook globals, then FILEPASS.
        QTest::newRow("encrypted Excel 97 workbook")
            << ole + QByteArray(504, '\0') + utf16("Workbook") + QByteArray(1024 - 528, '\0') +
                   QByteArrayLiteral("\x09\x08\x10\x00\x00\x06\x05\x00") + QByteArray(12, '\0') +
                   QByteArrayLiteral("\x2F\x00\x36\x00");
        // FIB of the WordDocument stream on a sector boundary, fEncrypted set.
        QByteArray fib = QByteArrayLiteral("\xEC\xA5\xC1\x00") + QByteArray(8, '\0');
        fib[11] = 0x01;
        QTest::newRow("encrypted Word 97 document") << ole + QByteArray(504, '\0') +
                                                           utf16("WordDocument") +
                                                           QByteArray(512 - 24, '\0') + fib;
    }

    void password_protected_files_are_refused_without_conversion()
    {
        QFETCH(QByteArray, content);
        const QString fake = make_fake(copy_pdf(portrait_pdf_));
        LibreOfficePreviewRenderer renderer(options_for(fake, LibreOfficeMode::Resident));
        const PreviewResult result = renderer.render(
            Path(make_text_doc(QStringLiteral("secret.xls"), content)), QSize(90, 90));
        QCOMPARE(result.error, PreviewError::Encrypted);
        QCOMPARE(result.message, QStringLiteral("パスワードで保護された文書です"));
        QCOMPARE(renderer.conversions(), 0);
    }

    // The arguments each stand-in call got, one per line, in call order.
    static QStringList logged_arguments(const QString& file)
    {
        QFile log(file);
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    void import_is_chosen_by_content_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("infilter");
        QTest::addColumn<QString>("pdf_filter");
        const QByteArray sjis = QByteArrayLiteral("\x94\xD4\x8D\x86,\x8E\x81\x96\xBC\r\n1,"
                                                  "\x8E\x52\x93\x63\r\n"); // 番号,氏名 / 1,山田
        const QByteArray euc = QByteArrayLiteral("\xC8\xD6\xB9\xE6,\xBB\xE1\xCC\xBE\n1,"
                                                 "\xBB\xB3\xC5\xC4\n");
        const QByteArray utf8 = QStringLiteral("番号,氏名\n1,山田\n").toUtf8();
        QTest::newRow("CSV in Shift_JIS as .xls")
            << "a.xls" << sjis << "Text - txt - csv (StarCalc):44,34,60,1,,1041"
            << "calc_pdf_Export";
        QTest::newRow("CSV in EUC-JP as .xls")
            << "b.xls" << euc << "Text - txt - csv (StarCalc):44,34,69,1,,1041"
            << "calc_pdf_Export";
        QTest::newRow("CSV in UTF-8 as .xls")
            << "c.xls" << utf8 << "Text - txt - csv (StarCalc):44,34,76,1,,1041"
            << "calc_pdf_Export";
        QTest::newRow("CSV in UTF-8 with BOM as .xls")
            << "d.xls" << QByteArray("\xEF\xBB\xBF") + utf8
            << "Text - txt - csv (StarCalc):44,34,76,1,,1041"
            << "calc_pdf_Export";
        QTest::newRow("TSV as .xls") << "e.xls" << QByteArray("a\tb\n1\t2\n")
                                     << "Text - txt - csv (StarCalc):9,34,76,1,,1041"
                                     << "calc_pdf_Export";
        QTest::newRow("HTML table as .xls")
            << "f.xls" << QByteArray("<html><body><table><tr><td>1</td></tr></table></html>")
            << "HTML (StarCalc)"
            << "calc_pdf_Export";
        QTest::newRow("HTML as .doc")
            << "g.doc" << QByteArray("<!DOCTYPE html><html><p>x</p>") << "HTML (StarWriter)"
            << "writer_pdf_Export";
        QTest::newRow("RTF as .doc") << "h.doc" << QByteArray("{\\rtf1 x}") << "Rich Text Format"
                                     << "writer_pdf_Export";
        QTest::newRow("OOXML workbook as .xls")
            << "i.xls"
            << QByteArray("PK\x03\x04", 4) + QByteArray(26, '\x01') + "[Content_Types].xml" +
                   QByteArray(40, '\x02') + "xl/workbook.xml"
            << "Calc MS Excel 2007 XML"
            << "calc_pdf_Export";
        QTest::newRow("OOXML document as .doc")
            << "j.doc"
            << QByteArray("PK\x03\x04", 4) + QByteArray(26, '\x01') + "[Content_Types].xml" +
                   QByteArray(40, '\x02') + "word/document.xml"
            << "MS Word 2007 XML"
            << "writer_pdf_Export";
        QTest::newRow("Excel binary") << "k.xls" << kMinimalOle << "MS Excel 97"
                                      << "calc_pdf_Export";
    }

    void import_is_chosen_by_content()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, infilter);
        QFETCH(QString, pdf_filter);
        const QString args = fakes_ + QStringLiteral("/args-") + name;
        const QString fake = make_fake(
            QStringLiteral("printf '%s\\n' \"$@\" > '%1'\n%2").arg(args, copy_pdf(portrait_pdf_)));
        LibreOfficePreviewRenderer renderer(options_for(fake, LibreOfficeMode::OneShot));
        const PreviewResult result =
            renderer.render(Path(make_text_doc(name, content)), QSize(100, 100));
        QVERIFY2(result.ok(), qPrintable(result.message));
        const QStringList arguments = logged_arguments(args);
        QVERIFY2(arguments.contains(QStringLiteral("--infilter=") + infilter),
                 qPrintable(arguments.join(QLatin1Char('|'))));
        // Page 1 only, with the export filter that belongs to the import.
        const qsizetype at = arguments.indexOf(QStringLiteral("--convert-to"));
        QVERIFY(at >= 0 && at + 1 < arguments.size());
        QCOMPARE(arguments.at(at + 1),
                 QStringLiteral("pdf:%1:{\"PageRange\":{\"type\":\"string\",\"value\":\"1\"}}")
                     .arg(pdf_filter));
    }

    void raw_byte_file_name_is_read_exactly()
    {
        // "見積.xls" in Shift_JIS: not UTF-8, kept as bytes.
        const QByteArray name = QByteArrayLiteral("\x8C\xA9\x90\xCF.xls");
        const QByteArray native = QFile::encodeName(docs_) + '/' + name;
        {
            QFile file;
            const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            QVERIFY(fd >= 0);
            QVERIFY(file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
            file.write(kMinimalOle);
        }
        const QString path = native_path::from_native(native);
        QVERIFY(native_path::has_raw_bytes(path));
        const QString fake = make_fake(copy_pdf(portrait_pdf_));
        LibreOfficePreviewRenderer renderer(options_for(fake, LibreOfficeMode::OneShot));
        const PreviewResult result = renderer.render(Path(path), QSize(100, 100));
        QVERIFY2(result.ok(), qPrintable(result.message));
        const CallLog log = calls(fake);
        QCOMPARE(log.converts.size(), 1);
        // The stand-in was given the very bytes of the file.
        QFile raw;
        const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0 && raw.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        QCOMPARE(last_input(fake), raw.readAll());
        ::unlink(native.constData()); // QTemporaryDir cannot name it
    }

    // Past PATH_MAX the kernel refuses the whole path; the file is still listed, so the
    // preview reaches it through folder descriptors.
    void file_deeper_than_path_max_is_previewed()
    {
        const QByteArray segment(200, 'd');
        // Qt cannot remove a folder this deep; rm can.
        const auto cleanup = qScopeGuard([&] {
            QProcess::execute(
                QStringLiteral("rm"),
                {QStringLiteral("-rf"), docs_ + QLatin1Char('/') + QString::fromLatin1(segment)});
        });
        QByteArray path = QFile::encodeName(docs_);
        int folder = ::open(path.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(folder >= 0);
        while (path.size() < 4200) {
            QVERIFY(::mkdirat(folder, segment.constData(), 0700) == 0);
            const int next = ::openat(folder, segment.constData(), O_PATH | O_DIRECTORY);
            ::close(folder);
            QVERIFY(next >= 0);
            folder = next;
            path += '/' + segment;
        }
        const int fd = ::openat(folder, "deep.xls", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        ::close(folder);
        QVERIFY(fd >= 0);
        QVERIFY(::write(fd, kMinimalOle.constData(), kMinimalOle.size()) == kMinimalOle.size());
        ::close(fd);
        path += "/deep.xls";

        const QString fake = make_fake(copy_pdf(portrait_pdf_));
        LibreOfficePreviewRenderer renderer(options_for(fake, LibreOfficeMode::OneShot));
        const PreviewResult result = renderer.render(Path::from_bytes(path), {90, 90});
        QVERIFY2(result.ok(), qPrintable(result.message));
        QCOMPARE(last_input(fake), kMinimalOle);
    }

    void newer_request_overtakes_a_slow_one()
    {
        // Requests for "slow" hang; the resident office that takes one is killed when a
        // newer request arrives, and the newer request goes to the other office at once.
        const QString fake = make_fake(QStringLiteral("grep -q slow \"$input\" && sleep 30\n") +
                                       copy_pdf(portrait_pdf_));
        LibreOfficeOptions options = options_for(fake, LibreOfficeMode::Resident);
        options.resident_offices = 2;
        options.time_limit = 60s;
        LibreOfficePreviewRenderer renderer(options);
        renderer.prepare();
        QTRY_COMPARE_WITH_TIMEOUT(calls(fake).servers.size(), 2, 5000);

        PreviewResult newer;
        qint64 newer_ms = -1;
        QElapsedTimer clock;
        QTimer::singleShot(500ms, this, [&] {
            QElapsedTimer own;
            own.start();
            newer = renderer.render(Path(make_doc(QStringLiteral("quick.doc"))), QSize(80, 80));
            newer_ms = own.elapsed();
        });
        clock.start();
        const PreviewResult older = renderer.render(
            Path(make_doc(QStringLiteral("slow.xls"), kMinimalOle + "slow")), QSize(80, 80));
        const qint64 total_ms = clock.elapsed();
        QCOMPARE(older.error, PreviewError::Superseded);
        QVERIFY2(newer.ok(), qPrintable(newer.message));
        // Far from the 30 s the slow conversion would have taken.
        QVERIFY2(total_ms < 10'000, qPrintable(QString::number(total_ms)));
        qInfo("overtaking request took %lld ms", qlonglong(newer_ms));
        const CallLog log = calls(fake);
        QCOMPARE(log.converts.size(), 2);
        // The slow call is gone, and its office was replaced by a fresh one.
        QTRY_VERIFY_WITH_TIMEOUT(!process_alive(logged_pid(log.converts.first())), 5000);
        QCOMPARE(renderer.resident_starts(), 3);
        // Later requests are served as before.
        QVERIFY(renderer.render(Path(make_doc(QStringLiteral("after.doc"))), QSize(80, 80)).ok());
    }

    void output_under_another_name_is_found()
    {
        LibreOfficePreviewRenderer renderer(options_for(
            make_fake(QStringLiteral("cp '%1' \"$outdir/renamed.pdf\"").arg(portrait_pdf_)),
            LibreOfficeMode::OneShot));
        QVERIFY(renderer.render(Path(make_doc(QStringLiteral("g.xls"))), QSize(100, 100)).ok());
    }

    void time_out_kills_the_whole_process_tree_data() { add_modes(); }
    void time_out_kills_the_whole_process_tree()
    {
        QFETCH(LibreOfficeMode, mode);
        const QString pid_file = fakes_ + QStringLiteral("/child-%1.pid").arg(int(mode));
        const QString fake =
            make_fake(QStringLiteral("sleep 30 & echo $! > '%1'\nwait").arg(pid_file));
        LibreOfficeOptions options = options_for(fake, mode);
        options.time_limit = 1s;
        LibreOfficePreviewRenderer renderer(options);

        const PreviewResult result =
            renderer.render(Path(make_doc(QStringLiteral("slow.xls"))), QSize(100, 100));
        QCOMPARE(result.error, PreviewError::TimedOut);
        QVERIFY(result.message.contains(QStringLiteral("1")));
        QVERIFY(result.image.isNull());

        QFile file(pid_file);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const qint64 child = file.readAll().trimmed().toLongLong();
        QVERIFY(child > 0);
        QTRY_VERIFY_WITH_TIMEOUT(!process_alive(child), 5000);
        const CallLog log = calls(fake);
        QCOMPARE(log.converts.size(), 1);
        QVERIFY(!process_alive(logged_pid(log.converts.first())));
        QVERIFY(leftovers(QStringLiteral("pelmora-preview-*")).isEmpty());
    }

    void office_dies_with_a_killed_program_and_its_folder_goes_at_the_next_start()
    {
        const QString fake = make_fake(copy_pdf(portrait_pdf_));
        QProcess helper;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PELMORA_PREVIEW_HELPER"), fake);
        environment.insert(QStringLiteral("PELMORA_PREVIEW_SANDBOX"), sandbox_);
        helper.setProcessEnvironment(environment);
        helper.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(helper.waitForStarted());
        QVERIFY(helper.waitForReadyRead(10000));
        QTRY_COMPARE_WITH_TIMEOUT(calls(fake).servers.size(), 1, 5000);
        const qint64 office = logged_pid(calls(fake).servers.first());
        QVERIFY(process_alive(office));
        const QStringList folders = leftovers(QStringLiteral("pelmora-lo-*"));
        QVERIFY(!folders.isEmpty());

        // Killed outright: no destructor runs.
        helper.kill();
        QVERIFY(helper.waitForFinished(5000));
        QTRY_VERIFY_WITH_TIMEOUT(!process_alive(office), 8000);
        // The watchdog or the next start removes the profile folder.
        {
            LibreOfficePreviewRenderer next(options_for(fake, LibreOfficeMode::OneShot));
            for (const QString& folder : folders)
                QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(tmp_ + QLatin1Char('/') + folder),
                                         5000);
        }
    }

    // --- the event loop while waiting ---

    void events_keep_flowing_during_a_render_data() { add_modes(); }
    void events_keep_flowing_during_a_render()
    {
        QFETCH(LibreOfficeMode, mode);
        LibreOfficePreviewRenderer renderer(
            options_for(make_fake(QStringLiteral("sleep 1\n") + copy_pdf(portrait_pdf_)), mode));
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
        timer.start(10ms);
        const PreviewResult result =
            renderer.render(Path(make_doc(QStringLiteral("e.xls"))), QSize(100, 100));
        timer.stop();
        QVERIFY2(result.ok(), qPrintable(result.message));
        // A second of waiting; a blocked loop would deliver one tick at most.
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    }

    void render_nested_in_another_render_data() { add_modes(); }
    void render_nested_in_another_render()
    {
        QFETCH(LibreOfficeMode, mode);
        const QString fake = make_fake(QStringLiteral("sleep 1\n") + copy_pdf(portrait_pdf_));
        LibreOfficePreviewRenderer renderer(options_for(fake, mode));
        const QString outer_path = make_doc(QStringLiteral("outer.xls"));
        const QString inner_path = make_doc(QStringLiteral("inner.doc"));

        // The newer request wins; the older one ends early without a picture.
        QStringList order;
        PreviewResult inner;
        // A second grid click arriving while the first preview is being made.
        QTimer::singleShot(mode == LibreOfficeMode::Resident ? 300ms : 200ms, this, [&] {
            inner = renderer.render(Path(inner_path), QSize(80, 80));
            order << QStringLiteral("inner");
        });
        const PreviewResult outer = renderer.render(Path(outer_path), QSize(120, 120));
        order << QStringLiteral("outer");

        QCOMPARE(outer.error, PreviewError::Superseded);
        QVERIFY(outer.image.isNull());
        QVERIFY2(inner.ok(), qPrintable(inner.message));
        QCOMPARE(order, (QStringList{QStringLiteral("inner"), QStringLiteral("outer")}));
        QCOMPARE(inner.image.width(), 80);

        const CallLog log = calls(fake);
        QCOMPARE(log.converts.size(), 2);
        if (mode == LibreOfficeMode::OneShot) {
            // Two offices at once must not share a profile.
            QVERIFY(logged_profile(log.converts.at(0)) != logged_profile(log.converts.at(1)));
        } else {
            // One office: the overtaken one was killed and started again.
            QCOMPARE(log.servers.size(), 2);
            QVERIFY(!process_alive(logged_pid(log.servers.first())));
        }
        QVERIFY(leftovers(QStringLiteral("pelmora-preview-*")).isEmpty());
    }
};

} // namespace pelmora

// Helper mode: a program that starts resident offices and waits to be killed.
int main(int argc, char** argv)
{
    if (const QByteArray fake = qgetenv("PELMORA_PREVIEW_HELPER"); !fake.isEmpty()) {
        QCoreApplication app(argc, argv);
        pelmora::LibreOfficeOptions options;
        options.program = QString::fromLocal8Bit(fake);
        options.sandbox = QString::fromLocal8Bit(qgetenv("PELMORA_PREVIEW_SANDBOX"));
        options.resident_offices = 1;
        pelmora::LibreOfficePreviewRenderer renderer(options);
        renderer.prepare();
        std::printf("ready\n");
        std::fflush(stdout);
        return app.exec();
    }
    QGuiApplication app(argc, argv);
    pelmora::TestPreviewRenderer test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_preview_renderer.moc"
