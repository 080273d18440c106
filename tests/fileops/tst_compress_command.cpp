// SPDX-License-Identifier: GPL-3.0-or-later
// The compression command: the list file, the command line, the history rows, the undo
// journal, and keeping an updated archive so its undo loses nothing.
#include "backends/posix/posix_file_system.h"
#include "backends/unlha/unlha_archiver.h"
#include "fakes.h"
#include "fileops/archive_backups.h"
#include "fileops/command_env.h"
#include "fileops/compress_command.h"
#include "fileops/lha_update.h"
#include "session/history_log.h"
#include "session/session.h"
#include "test_tree.h"
#include "undo/undo_command.h"

#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

struct Fixture
{
    QRV_Public session;
    FakeClock clock;
    HistoryLog history{clock};
    ScriptedMessageBoxes messages;
    CountingYield yield;
    bool single = true;
    bool undoEnabled = false;
    PosixFileSystem files;
    ArchiveBackups backups{files};
    UnlhaArchiver archiver;
    CommandEnv env{session, history, messages, yield};
    TestTree tree;
    int chooserShown = 0;

    Fixture()
    {
        env.single_mode = [this] { return single; };
        env.set_undo_enabled = [this](bool on) { undoEnabled = on; };
        env.archiver = &archiver;
        env.files = &files;
    }

    // Runs the command as if the user picked folder and name (or cancelled).
    void compress(const QString& folder, const QString& name, bool cancel = false)
    {
        run_compress(
            env,
            [&] {
                ++chooserShown;
                QCOMPARE(session.dlg_mode, DlgMode::Compress);
                session.dlg_cancel = cancel ? 1 : 0;
                if (!cancel) {
                    session.dest_dir = folder;
                    session.archive_name = name;
                }
            },
            backups);
    }
    void select(const QString& rel)
    {
        const QString p = tree.path(rel);
        session.sel_dir = QFileInfo(p).absolutePath() + QLatin1Char('/');
        session.sel_file = QFileInfo(p).fileName();
    }
};

// Extracts the archive with lhasa (not "lha", which may be another program) into a fresh folder and
// returns that folder.
QString extract(const QString& archive, QTemporaryDir& into)
{
    QProcess p;
    p.setWorkingDirectory(into.path());
    // Readers decode member names by the locale: Japanese names need a UTF-8 one.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("lhasa"), {QStringLiteral("xq"), archive});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return into.path() + QLatin1Char('/');
}

QStringList temp_list_files()
{
    return QDir(QDir::tempPath()).entryList({QStringLiteral("0*.TMP")}, QDir::Files);
}

} // namespace

class TestCompressCommand : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("lhasa")).isEmpty())
            QFAIL("lhasa is not installed: the archives cannot be read back");
    }

    void the_command_line_quotes_what_needs_it()
    {
        QCOMPARE(lha_command_line(QStringLiteral("/arc/BACKUP.LZH"), QString(),
                                  QStringLiteral("@/tmp/0A3F.TMP")),
                 QStringLiteral("u -a1 -r2 -l1 -jp1 -o2 /arc/BACKUP.LZH / @/tmp/0A3F.TMP "));
        QCOMPARE(lha_command_line(QStringLiteral("/my arc/B,1.LZH"), QString(),
                                  QStringLiteral("@/tmp/my temp/0A.TMP")),
                 QStringLiteral(
                     "u -a1 -r2 -l1 -jp1 -o2 \"/my arc/B,1.LZH\" / \"@/tmp/my temp/0A.TMP\" "));
    }

    void cancel_changes_nothing()
    {
        Fixture f;
        f.select(QStringLiteral("a.xls"));
        f.compress({}, {}, true);
        QCOMPARE(f.chooserShown, 1);
        QCOMPARE(f.history.size(), 0);
        QVERIFY(f.messages.shown.isEmpty());
        QCOMPARE(f.session.undo.undo_kind(), UndoKind::None);
    }

    void single_selection_without_a_file_asks_for_one()
    {
        Fixture f;
        QVERIFY(f.tree.createDir(QStringLiteral("out")));
        f.compress(f.tree.path(QStringLiteral("out/")), QStringLiteral("A"));
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown[0].text, QStringLiteral("ファイルを選択してください"));
        QCOMPARE(f.messages.shown[0].icon, MsgIcon::Exclamation);
        QCOMPARE(f.history.size(), 0);
        QCOMPARE(f.session.undo.undo_kind(), UndoKind::None);
    }

    void a_single_file_is_packed_logged_and_journaled()
    {
        Fixture f;
        const QByteArray content(50000, 'q');
        QVERIFY(f.tree.createFile(QStringLiteral("docs/月報 2024.xls"), content));
        QVERIFY(f.tree.createDir(QStringLiteral("out")));
        f.select(QStringLiteral("docs/月報 2024.xls"));
        const QStringList listsBefore = temp_list_files();
        const QString out = f.tree.path(QStringLiteral("out/"));
        f.compress(out, QStringLiteral("261207101500"));
        const QString archive = out + QStringLiteral("261207101500.LZH");
        QVERIFY(QFileInfo::exists(archive));
        QCOMPARE(f.messages.shown.size(), 1);
        QCOMPARE(f.messages.shown[0].text, QStringLiteral("選択XLSファイルを圧縮しました"));
        QCOMPARE(f.messages.shown[0].icon, MsgIcon::Information);
        QVERIFY(f.undoEnabled);
        QCOMPARE(f.history.size(), 1);
        QCOMPARE(f.history.entry(0).text,
                 f.session.sel_dir + f.session.sel_file + QStringLiteral("を ") + out +
                     QStringLiteral("に圧縮して保存(261207101500.LZH)しました"));
        QCOMPARE(f.history.entry(0).color, WinColor(0xFFC0FF));
        QCOMPARE(f.session.undo.undo_kind(), UndoKind::Compression);
        QCOMPARE(f.session.undo.undo_src(), QStringList{f.session.sel_dir + f.session.sel_file});
        QCOMPARE(f.session.undo.undo_dst(), QStringList{archive});
        QCOMPARE(temp_list_files(), listsBefore); // the list file is gone

        QTemporaryDir x;
        const QString root = extract(archive, x);
        QVERIFY(!root.isEmpty());
        QFile back(root + f.tree.path(QStringLiteral("docs/月報 2024.xls")).mid(1));
        QVERIFY2(back.open(QIODevice::ReadOnly), qPrintable(back.fileName()));
        QCOMPARE(back.readAll(), content);
    }

    void marked_files_each_get_a_row_and_a_file_marked_twice_is_packed_once()
    {
        Fixture f;
        QVERIFY(f.tree.createFile(QStringLiteral("a/same.xls"), "one"));
        QVERIFY(f.tree.createFile(QStringLiteral("b/same.xls"), "two"));
        QVERIFY(f.tree.createDir(QStringLiteral("out")));
        f.single = false;
        f.select(QStringLiteral("b/same.xls"));
        f.session.sel_marks = {f.tree.path(QStringLiteral("a/same.xls")),
                               f.tree.path(QStringLiteral("b/same.xls")),
                               f.tree.path(QStringLiteral("a/same.xls"))};
        f.compress(f.tree.path(QStringLiteral("out/")), QStringLiteral("M"));
        QCOMPARE(f.history.size(), 3);
        QCOMPARE(f.session.undo.undo_dst().size(), 3);
        QCOMPARE(f.messages.shown.last().text, QStringLiteral("選択XLSファイルを圧縮しました"));
        QTemporaryDir x;
        const QString root = extract(f.tree.path(QStringLiteral("out/M.LZH")), x);
        QVERIFY(!root.isEmpty());
        QFile a(root + f.tree.path(QStringLiteral("a/same.xls")).mid(1));
        QFile b(root + f.tree.path(QStringLiteral("b/same.xls")).mid(1));
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QCOMPARE(a.readAll(), QByteArray("one"));
        QCOMPARE(b.readAll(), QByteArray("two"));
    }

    void an_archiver_failure_code_takes_the_failure_path()
    {
        for (const int code : {1, 6, 10, 255}) {
            Fixture f;
            FakeArchiver fake;
            fake.code = code;
            f.env.archiver = &fake;
            QVERIFY(f.tree.createFile(QStringLiteral("a.xls"), "A"));
            QVERIFY(f.tree.createDir(QStringLiteral("out")));
            f.select(QStringLiteral("a.xls"));
            const QString out = f.tree.path(QStringLiteral("out/"));
            f.compress(out, QStringLiteral("F"));
            QCOMPARE(fake.lines.size(), 1);
            QVERIFY(fake.lines[0].startsWith("u -a1 -r2 -l1 -jp1 -o2 "));
            QVERIFY(fake.lines[0].contains((out + QStringLiteral("F.LZH")).toUtf8()));
            QCOMPARE(f.messages.shown.size(), 1);
            QCOMPARE(f.messages.shown[0].text,
                     QStringLiteral("選択XLSファイルの圧縮に失敗しました"));
            QCOMPARE(f.messages.shown[0].icon, MsgIcon::Exclamation);
            QCOMPARE(f.history.size(), 2);
            QCOMPARE(f.history.entry(1).text, QStringLiteral("上記の作業に失敗しました"));
            QVERIFY(text_list_is_empty(f.session.undo.undo_src()));
            QVERIFY(!f.undoEnabled);
            QVERIFY(!QFileInfo::exists(out + QStringLiteral("F.LZH")));
        }
        // Code 0 from the same fake is a success.
        Fixture f;
        FakeArchiver fake;
        f.env.archiver = &fake;
        QVERIFY(f.tree.createFile(QStringLiteral("a.xls"), "A"));
        QVERIFY(f.tree.createDir(QStringLiteral("out")));
        f.select(QStringLiteral("a.xls"));
        f.compress(f.tree.path(QStringLiteral("out/")), QStringLiteral("F"));
        QCOMPARE(f.messages.shown.last().text, QStringLiteral("選択XLSファイルを圧縮しました"));
        QVERIFY(f.undoEnabled);
    }

    void nothing_marked_or_a_missing_file_fails_and_leaves_the_archive_alone()
    {
        Fixture f;
        QVERIFY(f.tree.createFile(QStringLiteral("k.xls"), "keep"));
        QVERIFY(f.tree.createDir(QStringLiteral("out")));
        f.single = false;
        f.compress(f.tree.path(QStringLiteral("out/")), QStringLiteral("E"));
        QCOMPARE(f.history.size(), 2);
        QCOMPARE(f.history.entry(0).text.left(2), QStringLiteral("を "));
        QCOMPARE(f.history.entry(1).text, QStringLiteral("上記の作業に失敗しました"));
        QCOMPARE(f.messages.shown.last().text,
                 QStringLiteral("選択XLSファイルの圧縮に失敗しました"));
        QCOMPARE(f.messages.shown.last().icon, MsgIcon::Exclamation);
        QVERIFY(text_list_is_empty(f.session.undo.undo_src()));
        QVERIFY(!QFileInfo::exists(f.tree.path(QStringLiteral("out/E.LZH"))));

        // An archive that exists stays byte for byte when a listed file is missing.
        f.single = true;
        f.select(QStringLiteral("k.xls"));
        f.compress(f.tree.path(QStringLiteral("out/")), QStringLiteral("E"));
        QFile arc(f.tree.path(QStringLiteral("out/E.LZH")));
        QVERIFY(arc.open(QIODevice::ReadOnly));
        const QByteArray before = arc.readAll();
        arc.close();
        f.session.sel_file = QStringLiteral("gone.xls");
        f.compress(f.tree.path(QStringLiteral("out/")), QStringLiteral("E"));
        QCOMPARE(f.messages.shown.last().text,
                 QStringLiteral("選択XLSファイルの圧縮に失敗しました"));
        QVERIFY(arc.open(QIODevice::ReadOnly));
        QCOMPARE(arc.readAll(), before);
    }

    // The list file ends names at CR LF: such a name is refused before the archiver runs,
    // whether alone or among marked files, and nothing else is packed in its place.
    void a_name_with_a_line_break_is_refused_before_anything_is_packed()
    {
        for (const bool single : {true, false}) {
            for (const QString& bad : {QStringLiteral("report\r\nsecret.xls"),
                                       QStringLiteral("a\nb.xls"), QStringLiteral("c\r.xls")}) {
                Fixture f;
                FakeArchiver fake;
                f.env.archiver = &fake;
                f.single = single;
                QVERIFY(f.tree.createFile(QStringLiteral("shared/ok.xls"), "ok"));
                QVERIFY(f.tree.createFile(QStringLiteral("shared/") + bad, "bad"));
                QVERIFY(f.tree.createDir(QStringLiteral("out")));
                f.select(QStringLiteral("shared/") + bad);
                if (!single)
                    f.session.sel_marks = {f.tree.path(QStringLiteral("shared/ok.xls")),
                                           f.tree.path(QStringLiteral("shared/") + bad)};
                const QStringList marks = f.session.sel_marks;
                const QString out = f.tree.path(QStringLiteral("out/"));
                f.compress(out, QStringLiteral("X"));
                QVERIFY(fake.lines.isEmpty());
                QVERIFY(!QFileInfo::exists(out + QStringLiteral("X.LZH")));
                QCOMPARE(f.messages.shown.size(), 1);
                QString shown = f.tree.path(QStringLiteral("shared/") + bad);
                shown.replace(QLatin1Char('\r'), QStringLiteral("\\r"))
                    .replace(QLatin1Char('\n'), QStringLiteral("\\n"));
                QCOMPARE(f.messages.shown[0].text,
                         QStringLiteral("ファイル名に改行が含まれているため圧縮できません\r\n") +
                             shown);
                QCOMPARE(f.messages.shown[0].icon, MsgIcon::Exclamation);
                const int rows = single ? 1 : 2;
                QCOMPARE(f.history.size(), rows + 1);
                QCOMPARE(f.history.entry(rows).text, QStringLiteral("上記の作業に失敗しました"));
                QVERIFY(text_list_is_empty(f.session.undo.undo_src()));
                QVERIFY(!f.undoEnabled);
                QCOMPARE(f.session.sel_file, bad);
                QCOMPARE(f.session.sel_marks, marks);
                QCOMPARE(f.session.dest_dir, out);
            }
        }
    }

    void undo_of_an_update_puts_the_earlier_archive_back()
    {
        Fixture f;
        QVERIFY(f.tree.createFile(QStringLiteral("one.xls"), "first"));
        QVERIFY(f.tree.createFile(QStringLiteral("two.xls"), "second"));
        QVERIFY(f.tree.createDir(QStringLiteral("out")));
        const QString out = f.tree.path(QStringLiteral("out/"));
        const QString archive = out + QStringLiteral("U.LZH");
        f.select(QStringLiteral("one.xls"));
        f.compress(out, QStringLiteral("U"));
        QFile arc(archive);
        QVERIFY(arc.open(QIODevice::ReadOnly));
        const QByteArray withOne = arc.readAll();
        arc.close();

        // A group-shared archive with a second name keeps both through update and undo.
        const QByteArray native = QFile::encodeName(archive);
        const QByteArray second = QFile::encodeName(out + QStringLiteral("SHARED.LZH"));
        QVERIFY(::chmod(native.constData(), 0664) == 0);
        QVERIFY(::link(native.constData(), second.constData()) == 0);

        f.select(QStringLiteral("two.xls"));
        f.compress(out, QStringLiteral("U")); // updates the archive: one.xls stays in it
        QVERIFY(arc.open(QIODevice::ReadOnly));
        QVERIFY(arc.readAll() != withOne);
        arc.close();

        // Undo asks about putting the earlier archive back, not about deleting it.
        f.messages.answers = {MsgAnswer::Yes};
        int blinks = 0;
        f.env.start_blink = [&] { ++blinks; };
        run_undo(
            f.env, [&](const QString& a) { return f.backups.undo(a); },
            [&](const QString& a) { return f.backups.restores(a); });
        QVERIFY(!f.messages.shown.isEmpty());
        const QString question = f.messages.shown.at(f.messages.shown.size() - 2).text;
        QCOMPARE(question,
                 QStringLiteral("作成した書庫ファイル(") + archive +
                     QStringLiteral(")を更新前の書庫ファイルに戻します\r\nよろしいですか"));
        QCOMPARE(f.messages.shown.back().text, QStringLiteral("1つ前の操作を取り消しました"));
        QCOMPARE(blinks, 1);
        QVERIFY(arc.open(QIODevice::ReadOnly));
        QCOMPARE(arc.readAll(), withOne);
        arc.close();
        QFile link(QFile::decodeName(second));
        QVERIFY(link.open(QIODevice::ReadOnly));
        QCOMPARE(link.readAll(), withOne);
        struct stat st
        {};
        QVERIFY(::stat(native.constData(), &st) == 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0664));

        // An archive the compression created is deleted by its undo, and its question says so.
        f.compress(out, QStringLiteral("NEW"));
        QVERIFY(QFileInfo::exists(out + QStringLiteral("NEW.LZH")));
        QVERIFY(!f.backups.restores(out + QStringLiteral("NEW.LZH")));
        QCOMPARE(undo_question(UndoKind::Compression, out + QStringLiteral("NEW.LZH"), false,
                               f.backups.restores(out + QStringLiteral("NEW.LZH"))),
                 QStringLiteral("作成した書庫ファイル(") + out +
                     QStringLiteral("NEW.LZH)を削除します\r\nよろしいですか"));
        QVERIFY(f.backups.undo(out + QStringLiteral("NEW.LZH")));
        QVERIFY(!QFileInfo::exists(out + QStringLiteral("NEW.LZH")));
        QVERIFY(QFileInfo::exists(archive));
    }
};

QTEST_GUILESS_MAIN(TestCompressCommand)
#include "tst_compress_command.moc"
