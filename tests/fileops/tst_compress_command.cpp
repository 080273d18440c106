// SPDX-License-Identifier: GPL-3.0-or-later
// The compression command: the list file, the command line, the history rows, the undo
// journal, and keeping an updated archive so its undo loses nothing.
#include "backends/posix/posix_archive_files.h"
#include "backends/posix/posix_file_system.h"
#include "backends/posix/stale_files.h"
#include "backends/unlha/unlha_archiver.h"
#include "deep_folders.h"
#include "fakes.h"
#include "fileops/command_env.h"
#include "fileops/compress_command.h"
#include "fileops/lha_update.h"
#include "fileops/undo_manager.h"
#include "session/history_log.h"
#include "session/session.h"
#include "test_tree.h"
#include "undo/undo_command.h"

#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
    RecordingMainView window;
    bool undoEnabled = false;
    PosixFileSystem files;
    PosixArchiveFiles archiveFiles;
    UndoManager undo{session.undo, &archiveFiles};
    UnlhaArchiver archiver;
    CommandEnv env{session, history, messages, yield, window, undo};
    TestTree tree;
    int chooserShown = 0;

    Fixture()
    {
        QObject::connect(&undo, &UndoManager::available, [this](bool on) { undoEnabled = on; });
        env.archiver = &archiver;
        env.files = &files;
        env.archive_files = &archiveFiles;
    }

    // Runs the command as if the user picked folder and name (or cancelled).
    void compress(const QString& folder, const QString& name, bool cancel = false)
    {
        run_compress(env, [&] {
            ++chooserShown;
            QCOMPARE(session.dlg_mode, DlgMode::Compress);
            session.dlg_cancel = cancel ? 1 : 0;
            if (!cancel) {
                session.dest_dir = Path(folder);
                session.archive_name = Path(name);
            }
        });
    }
    void select(const QString& rel)
    {
        const QString p = tree.path(rel);
        session.sel_dir = Path(QFileInfo(p).absolutePath() + QLatin1Char('/'));
        session.sel_file = Path(QFileInfo(p).fileName());
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

// The real archiver, with something happening while it writes (once).
class HookedArchiver final : public Archiver
{
public:
    int run_into(const QByteArray& line, int from, int into, QByteArray& report) override
    {
        const int code = real.run_into(line, from, into, report);
        if (during) {
            auto hook = std::move(during);
            during = nullptr;
            hook();
        }
        return code;
    }
    bool verify(int fd) override { return real.verify(fd); }
    UnlhaArchiver real;
    std::function<void()> during;
};

QByteArray read_bytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Another program saving the archive its usual way: a new file renamed over the name.
void save_over(const QString& path, const QByteArray& bytes)
{
    const QString temp = path + QStringLiteral(".other");
    QFile f(temp);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    f.close();
    QVERIFY(::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) ==
            0);
}

QStringList hidden_in(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral(".pelmora-*")}, QDir::Files | QDir::Hidden);
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

    // What others do to the archive while ours is written is never lost: a change made after
    // our read fails our update (another update of ours waits for nothing and fails).
    void others_meanwhile_are_refused_and_lose_nothing_data()
    {
        QTest::addColumn<int>("who");
        QTest::newRow("another program saves over it while ours is written") << 0;
        QTest::newRow("another program appends to it in place") << 1;
        QTest::newRow("a second update of ours at the same time") << 2;
        QTest::newRow("it is replaced between the last check and the swap") << 3;
    }
    void others_meanwhile_are_refused_and_lose_nothing()
    {
        QFETCH(int, who);
        Fixture f;
        HookedArchiver hooked;
        f.env.archiver = &hooked;
        QVERIFY(f.tree.createFile(QStringLiteral("a.xls"), "first"));
        QVERIFY(f.tree.createFile(QStringLiteral("b.xls"), "second"));
        QVERIFY(f.tree.createFile(QStringLiteral("c.xls"), "third"));
        QVERIFY(f.tree.createDir(QStringLiteral("out")));
        const QString out = f.tree.path(QStringLiteral("out/"));
        const QString archive = out + QStringLiteral("R.LZH");
        f.select(QStringLiteral("a.xls"));
        f.compress(out, QStringLiteral("R"));
        const QByteArray before = read_bytes(archive);
        const QByteArray theirs = before + QByteArray("their member");

        Fixture other;
        QVERIFY(other.tree.isValid());
        auto meanwhile = [&] {
            switch (who) {
            case 0:
            case 3:
                save_over(archive, theirs);
                break;
            case 1: {
                QFile a(archive);
                QVERIFY(a.open(QIODevice::Append) && a.write("their member") == 12);
                break;
            }
            default:
                other.session.sel_dir = f.session.sel_dir;
                other.session.sel_file = Path(QStringLiteral("c.xls"));
                other.compress(out, QStringLiteral("R"));
            }
        };
        bool swapped = false;
        if (who == 3)
            f.archiveFiles.set_before_swap([&] {
                if (!std::exchange(swapped, true))
                    meanwhile();
            });
        else
            hooked.during = meanwhile;
        f.select(QStringLiteral("b.xls"));
        f.compress(out, QStringLiteral("R"));

        const QString ok = QStringLiteral("選択XLSファイルを圧縮しました");
        const QString failed = QStringLiteral("選択XLSファイルの圧縮に失敗しました");
        if (who == 2) {
            // Ours goes on; the other one, started while ours held the archive, failed.
            QCOMPARE(other.messages.shown.last().text, failed);
            QCOMPARE(f.messages.shown.last().text, ok);
            QTemporaryDir x;
            const QString root = extract(archive, x);
            QVERIFY(QFile::exists(root + f.tree.path(QStringLiteral("b.xls")).mid(1)));
            QVERIFY(!QFile::exists(root + f.tree.path(QStringLiteral("c.xls")).mid(1)));
            QCOMPARE(hidden_in(out).size(), 1); // the earlier archive, kept for undo
        } else {
            QCOMPARE(f.messages.shown.last().text, failed);
            QCOMPARE(read_bytes(archive), theirs);
            QVERIFY(hidden_in(out).isEmpty());
        }
        QCOMPARE(QDir(out).entryList(QDir::Files), QStringList{QStringLiteral("R.LZH")});
    }

    // A name that is a symbolic link: the file it leads to is updated, the link stays.
    void a_link_to_an_archive_updates_its_target()
    {
        Fixture f;
        QVERIFY(f.tree.createFile(QStringLiteral("a.xls"), "first"));
        QVERIFY(f.tree.createFile(QStringLiteral("b.xls"), "second"));
        QVERIFY(f.tree.createDir(QStringLiteral("store")));
        QVERIFY(f.tree.createDir(QStringLiteral("out")));
        f.select(QStringLiteral("a.xls"));
        f.compress(f.tree.path(QStringLiteral("store/")), QStringLiteral("ARC"));
        const QString target = f.tree.path(QStringLiteral("store/ARC.LZH"));
        const QByteArray before = read_bytes(target);
        const QString link = f.tree.path(QStringLiteral("out/ARC.LZH"));
        QVERIFY(::symlink("../store/ARC.LZH", QFile::encodeName(link).constData()) == 0);

        f.select(QStringLiteral("b.xls"));
        f.compress(f.tree.path(QStringLiteral("out/")), QStringLiteral("ARC"));
        QCOMPARE(f.messages.shown.last().text, QStringLiteral("選択XLSファイルを圧縮しました"));
        QVERIFY(QFileInfo(link).isSymLink());
        QTemporaryDir x;
        const QString root = extract(target, x);
        QVERIFY(QFile::exists(root + f.tree.path(QStringLiteral("a.xls")).mid(1)));
        QVERIFY(QFile::exists(root + f.tree.path(QStringLiteral("b.xls")).mid(1)));

        f.messages.answers = {MsgAnswer::Yes};
        run_undo(f.env);
        QCOMPARE(f.messages.shown.last().text, QStringLiteral("1つ前の操作を取り消しました"));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(read_bytes(target), before);
    }

    // What a killed run of ours left is cleared before the next one writes into the folder
    // (and list files at start-up); what a running process may still need, and what is not
    // ours, stays.
    void leftovers_of_a_dead_run_are_cleared()
    {
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(0);
        QVERIFY(child > 0 && ::waitpid(child, nullptr, 0) == child);
        const QByteArray dead = QByteArray::number(child);
        const QByteArray mine = QByteArray::number(::getpid());
        Fixture f;
        QVERIFY(f.tree.createFile(QStringLiteral("a.xls"), "first"));
        QVERIFY(f.tree.createDir(QStringLiteral("out")));
        QVERIFY(f.tree.createDir(QStringLiteral("tmp")));
        const QString out = f.tree.path(QStringLiteral("out/"));
        const QString tmp = f.tree.path(QStringLiteral("tmp/"));
        const struct
        {
            QString path;
            bool stale;
        } files[] = {
            {out + QStringLiteral(".pelmora-tmp-") + dead + QStringLiteral("-Ab3dE9"), true},
            {out + QStringLiteral(".pelmora-kept-") + dead + QStringLiteral("-Ab3dE9"), true},
            {tmp + QStringLiteral("0pelmora-") + dead + QStringLiteral("-Ab3dE9.TMP"), true},
            {out + QStringLiteral(".pelmora-kept-") + mine + QStringLiteral("-Ab3dE9"), false},
            {out + QStringLiteral(".pelmora-tmp-1-Ab3dE9"), false}, // a process running since
            {out + QStringLiteral(".pelmora-tmp-x") + dead + QStringLiteral("-Ab3dE9"), false},
            {tmp + QStringLiteral("0pelmora-") + dead + QStringLiteral("-Ab3dE9.xls"), false},
        };
        for (const auto& file : files)
            QVERIFY(f.tree.createFile(file.path.mid(f.tree.root().size()), "left"));

        const QByteArray oldTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(tmp));
        remove_stale_files(temp_folder()); // as at start-up
        f.select(QStringLiteral("a.xls"));
        f.compress(out, QStringLiteral("A"));
        qputenv("TMPDIR", oldTmp);
        QCOMPARE(f.messages.shown.last().text, QStringLiteral("選択XLSファイルを圧縮しました"));
        for (const auto& file : files)
            QVERIFY2(QFileInfo::exists(file.path) != file.stale, qPrintable(file.path));
    }

    // Paths longer than PATH_MAX reach the archiver through folder descriptors: a file that
    // deep is packed into an archive that deep, and the undo removes it again.
    void paths_past_path_max_are_compressed()
    {
        Fixture f;
        const DeepFolders deep(QFile::encodeName(f.tree.root()));
        QVERIFY(deep.isValid());
        QVERIFY(deep.path().size() > 4096);
        QVERIFY(deep.write("deep.xls", "far down"));
        f.session.sel_dir = Path(QFile::decodeName(deep.path()));
        f.session.sel_file = Path(QStringLiteral("deep.xls"));
        f.compress(QFile::decodeName(deep.path()), QStringLiteral("DEEP"));
        QCOMPARE(f.messages.shown.last().text, QStringLiteral("選択XLSファイルを圧縮しました"));
        // Read back from a copy at a short path: every reader takes whole paths.
        const QString copy = f.tree.path(QStringLiteral("copy.lzh"));
        QFile c(copy);
        QVERIFY(c.open(QIODevice::WriteOnly) && c.write(deep.read("DEEP.LZH")) > 0);
        c.close();
        QProcess lhasa;
        lhasa.start(QStringLiteral("lhasa"), {QStringLiteral("pq"), copy});
        QVERIFY(lhasa.waitForFinished(60000));
        QCOMPARE(lhasa.readAllStandardOutput(), QByteArray("far down"));

        f.messages.answers = {MsgAnswer::Yes};
        run_undo(f.env);
        QCOMPARE(f.messages.shown.last().text, QStringLiteral("1つ前の操作を取り消しました"));
        QCOMPARE(deep.names(), QList<QByteArray>{"deep.xls"});
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
                 f.session.sel_path().text() + QStringLiteral("を ") + out +
                     QStringLiteral("に圧縮して保存(261207101500.LZH)しました"));
        QCOMPARE(f.history.entry(0).color, WinColor(0xFFC0FF));
        QCOMPARE(f.session.undo.undo_kind(), UndoKind::Compression);
        QCOMPARE(f.session.undo.undo_src(), PathList{f.session.sel_path()});
        QCOMPARE(f.session.undo.undo_dst(), paths({archive}));
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
        f.window.single = false;
        f.select(QStringLiteral("b/same.xls"));
        f.session.sel_marks = paths({f.tree.path(QStringLiteral("a/same.xls")),
                                     f.tree.path(QStringLiteral("b/same.xls")),
                                     f.tree.path(QStringLiteral("a/same.xls"))});
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
            QVERIFY(path_list_is_empty(f.session.undo.undo_src()));
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
        f.window.single = false;
        f.compress(f.tree.path(QStringLiteral("out/")), QStringLiteral("E"));
        QCOMPARE(f.history.size(), 2);
        QCOMPARE(f.history.entry(0).text.left(2), QStringLiteral("を "));
        QCOMPARE(f.history.entry(1).text, QStringLiteral("上記の作業に失敗しました"));
        QCOMPARE(f.messages.shown.last().text,
                 QStringLiteral("選択XLSファイルの圧縮に失敗しました"));
        QCOMPARE(f.messages.shown.last().icon, MsgIcon::Exclamation);
        QVERIFY(path_list_is_empty(f.session.undo.undo_src()));
        QVERIFY(!QFileInfo::exists(f.tree.path(QStringLiteral("out/E.LZH"))));

        // An archive that exists stays byte for byte when a listed file is missing.
        f.window.single = true;
        f.select(QStringLiteral("k.xls"));
        f.compress(f.tree.path(QStringLiteral("out/")), QStringLiteral("E"));
        QFile arc(f.tree.path(QStringLiteral("out/E.LZH")));
        QVERIFY(arc.open(QIODevice::ReadOnly));
        const QByteArray before = arc.readAll();
        arc.close();
        f.session.sel_file = Path(QStringLiteral("gone.xls"));
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
                f.window.single = single;
                QVERIFY(f.tree.createFile(QStringLiteral("shared/ok.xls"), "ok"));
                QVERIFY(f.tree.createFile(QStringLiteral("shared/") + bad, "bad"));
                QVERIFY(f.tree.createDir(QStringLiteral("out")));
                f.select(QStringLiteral("shared/") + bad);
                if (!single)
                    f.session.sel_marks = paths({f.tree.path(QStringLiteral("shared/ok.xls")),
                                                 f.tree.path(QStringLiteral("shared/") + bad)});
                const PathList marks = f.session.sel_marks;
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
                QVERIFY(path_list_is_empty(f.session.undo.undo_src()));
                QVERIFY(!f.undoEnabled);
                QCOMPARE(f.session.sel_file, Path(bad));
                QCOMPARE(f.session.sel_marks, marks);
                QCOMPARE(f.session.dest_dir, Path(out));
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

        // A group-shared archive with a second name (and, as root, another owner): the update
        // gives the name a new file with the same mode and owner, the other name keeps the
        // earlier bytes, as other archivers do; undo brings the very same file back.
        const QByteArray native = QFile::encodeName(archive);
        const QByteArray second = QFile::encodeName(out + QStringLiteral("SHARED.LZH"));
        QVERIFY(::chmod(native.constData(), 0664) == 0);
        QVERIFY(::link(native.constData(), second.constData()) == 0);
        if (::geteuid() == 0)
            QVERIFY(::chown(native.constData(), 65534, 65534) == 0);
        struct stat before
        {};
        QVERIFY(::stat(native.constData(), &before) == 0);

        f.select(QStringLiteral("two.xls"));
        f.compress(out, QStringLiteral("U")); // updates the archive: one.xls stays in it
        QVERIFY(arc.open(QIODevice::ReadOnly));
        QVERIFY(arc.readAll() != withOne);
        arc.close();
        QFile link(QFile::decodeName(second));
        QVERIFY(link.open(QIODevice::ReadOnly));
        QCOMPARE(link.readAll(), withOne);
        link.close();
        struct stat updated
        {};
        QVERIFY(::stat(native.constData(), &updated) == 0);
        QCOMPARE(updated.st_mode & 07777, mode_t(0664));
        QCOMPARE(updated.st_uid, before.st_uid);
        QCOMPARE(updated.st_gid, before.st_gid);

        // Undo asks about putting the earlier archive back, not about deleting it.
        f.messages.answers = {MsgAnswer::Yes};
        f.window.blinks = 0;
        run_undo(f.env);
        QVERIFY(!f.messages.shown.isEmpty());
        const QString question = f.messages.shown.at(f.messages.shown.size() - 2).text;
        QCOMPARE(question,
                 QStringLiteral("作成した書庫ファイル(") + archive +
                     QStringLiteral(")を更新前の書庫ファイルに戻します\r\nよろしいですか"));
        QCOMPARE(f.messages.shown.back().text, QStringLiteral("1つ前の操作を取り消しました"));
        QCOMPARE(f.window.blinks, 1);
        QVERIFY(arc.open(QIODevice::ReadOnly));
        QCOMPARE(arc.readAll(), withOne);
        arc.close();
        struct stat st
        {};
        QVERIFY(::stat(native.constData(), &st) == 0);
        QCOMPARE(st.st_ino, before.st_ino);
        QCOMPARE(st.st_nlink, nlink_t(2));
        QCOMPARE(st.st_mode & 07777, mode_t(0664));
        QCOMPARE(st.st_uid, before.st_uid);
        QCOMPARE(st.st_gid, before.st_gid);
        QCOMPARE(QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 (QStringList{QStringLiteral("SHARED.LZH"), QStringLiteral("U.LZH")}));

        // An archive the compression created is deleted by its undo, and its question says so.
        f.compress(out, QStringLiteral("NEW"));
        QVERIFY(QFileInfo::exists(out + QStringLiteral("NEW.LZH")));
        const Path created(out + QStringLiteral("NEW.LZH"));
        QVERIFY(!f.undo.restores_earlier(created));
        QCOMPARE(
            undo_question(UndoKind::Compression, created, false, f.undo.restores_earlier(created)),
            QStringLiteral("作成した書庫ファイル(") + out +
                QStringLiteral("NEW.LZH)を削除します\r\nよろしいですか"));
        QVERIFY(f.undo.undo_archive(f.session.undo.entries().front()));
        QVERIFY(!QFileInfo::exists(out + QStringLiteral("NEW.LZH")));
        QVERIFY(QFileInfo::exists(archive));
    }
};

QTEST_GUILESS_MAIN(TestCompressCommand)
#include "tst_compress_command.moc"
