// SPDX-License-Identifier: GPL-3.0-or-later
// The POSIX shell layer on real files: copy keeps time and permissions, replace question,
// rename within and copy across file systems, no partial file after any failure, the trash.
#include "backends/posix/posix_io.h"
#include "backends/posix/posix_shell.h"
#include "base/native_path.h"
#include "fakes.h"
#include "second_file_system.h"
#include "temporary_home.h"
#include "test_tree.h"
#include "unprivileged.h"

#include <QDirIterator>
#include <QStandardPaths>
#include <QtTest>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

class CancellingProgress final : public CopyProgressFactory
{
public:
    std::unique_ptr<CopyProgress> begin(const Path&, const Path&, qint64 total, Transfer) override
    {
        ++begun;
        totals.append(total);
        class P final : public CopyProgress
        {
        public:
            explicit P(CancellingProgress& o) : m_o(o) {}
            bool update(qint64 done, qint64) override
            {
                ++m_o.updates;
                m_o.last_done = done;
                return !m_o.cancel;
            }

        private:
            CancellingProgress& m_o;
        };
        return std::make_unique<P>(*this);
    }
    bool cancel = false;
    int begun = 0;
    int updates = 0;
    qint64 last_done = 0;
    QList<qint64> totals;
};

QByteArray read_all(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every name in a folder, hidden ones included.
QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

const QByteArray kBig(5 * 1024 * 1024 + 123, 'b');

// A move's rename that fails as between file systems.
int cross_device(int, const char*, int, const char*)
{
    errno = EXDEV;
    return -1;
}

QByteArray trash_info_folder()
{
    return QFile::encodeName(QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"))) + "/Trash/info";
}

} // namespace

class TestPosixShell : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase()
    {
        // The trash of these tests lives below a temporary home, never in the real one.
        QVERIFY(m_home.isValid());
        use_temporary_home(m_home);
    }

    void copy_keeps_content_time_and_permissions()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls", "content"));
        QVERIFY(t.createDir("dst"));
        const QString src = t.path("a.xls");
        const QDateTime old(QDate(2001, 3, 4), QTime(5, 6, 7));
        {
            QFile f(src);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
        }
        QVERIFY(
            QFile::setPermissions(src, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        ScriptedMessageBoxes boxes;
        PosixShell shell(boxes, nullptr);
        const QString dst = t.path("dst/a.xls");
        QVERIFY(shell.transfer(Path(src), Path(dst), FO_COPY));
        QCOMPARE(read_all(dst), QByteArray("content"));
        QCOMPARE(read_all(src), QByteArray("content"));
        QCOMPARE(QFileInfo(dst).lastModified(), old);
        QCOMPARE(QFileInfo(dst).permissions() & 0x0FFF, QFileInfo(src).permissions() & 0x0FFF);
        QCOMPARE(entries(t.path("dst")), QStringList{QStringLiteral("a.xls")});
        QVERIFY(boxes.shown.isEmpty());
    }

    void replace_question_no_keeps_both_files()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls", "new"));
        QVERIFY(t.createFile("dst/a.xls", "old"));
        ScriptedMessageBoxes boxes;
        boxes.answers = {MsgAnswer::No};
        PosixShell shell(boxes, nullptr);
        const QString dst = t.path("dst/a.xls");
        QVERIFY(!shell.transfer(Path(t.path("a.xls")), Path(dst), FO_MOVE));
        QCOMPARE(read_all(dst), QByteArray("old"));
        QCOMPARE(read_all(t.path("a.xls")), QByteArray("new"));
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown.front().text, replace_question(Path(dst)));
        QCOMPARE(boxes.shown.front().icon, MsgIcon::Question);
        QVERIFY(boxes.shown.front().text.endsWith(QStringLiteral("\r\nよろしいですか")));
    }

    void replace_question_yes_replaces()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls", "new"));
        QVERIFY(t.createFile("dst/a.xls", "old"));
        ScriptedMessageBoxes boxes;
        boxes.answers = {MsgAnswer::Yes};
        PosixShell shell(boxes, nullptr);
        TransferReport report;
        QVERIFY(shell.transfer(Path(t.path("a.xls")), Path(t.path("dst/a.xls")), FO_COPY, &report));
        QCOMPARE(read_all(t.path("dst/a.xls")), QByteArray("new"));
        QCOMPARE(entries(t.path("dst")), QStringList{QStringLiteral("a.xls")});
        // The replaced file is in the trash, and can go back once the new one is gone.
        QVERIFY(report.replaced.isValid());
        QCOMPARE(report.replaced.original, Path(t.path("dst/a.xls")));
        QCOMPARE(read_all(report.replaced.file.text()), QByteArray("old"));
        QVERIFY(report.made.same_file(PosixFileSystem{}.identity(Path(t.path("dst/a.xls")))));
        QVERIFY(!shell.restore(report.replaced)); // the place is taken
        QVERIFY(QFile::remove(t.path("dst/a.xls")));
        QVERIFY(shell.restore(report.replaced));
        QCOMPARE(read_all(t.path("dst/a.xls")), QByteArray("old"));
    }

    void no_replace_without_a_trash_for_the_old_file()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls", "new"));
        QVERIFY(t.createFile("dst/a.xls", "old"));
        QVERIFY(t.createFile("plain", "p"));
        const QByteArray saved = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(t.path("plain/data")));
        ScriptedMessageBoxes boxes;
        boxes.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
        PosixShell shell(boxes, nullptr);
        const bool copied =
            shell.transfer(Path(t.path("a.xls")), Path(t.path("dst/a.xls")), FO_COPY);
        const bool moved =
            shell.transfer(Path(t.path("a.xls")), Path(t.path("dst/a.xls")), FO_MOVE);
        qputenv("XDG_DATA_HOME", saved);
        QVERIFY(!copied);
        QVERIFY(!moved);
        QCOMPARE(boxes.shown.size(), 2);
        QCOMPARE(read_all(t.path("dst/a.xls")), QByteArray("old"));
        QCOMPARE(read_all(t.path("a.xls")), QByteArray("new"));
        QCOMPARE(entries(t.path("dst")), QStringList{QStringLiteral("a.xls")});
    }

    void a_file_is_not_copied_onto_itself()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls", "me"));
        ScriptedMessageBoxes boxes;
        PosixShell shell(boxes, nullptr);
        const QString p = t.path("a.xls");
        QVERIFY(!shell.transfer(Path(p), Path(p), FO_COPY));
        QVERIFY(!shell.transfer(Path(p), Path(p), FO_MOVE));
        QCOMPARE(read_all(p), QByteArray("me"));
        QVERIFY(boxes.shown.isEmpty());
    }

    void move_within_a_file_system_renames()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls", "m"));
        QVERIFY(t.createDir("dst"));
        ScriptedMessageBoxes boxes;
        PosixShell shell(boxes, nullptr);
        int renames = 0;
        shell.set_rename([&renames](int from_dir, const char* a, int to_dir, const char* b) {
            ++renames;
            return posix::rename_at_no_replace(from_dir, a, to_dir, b);
        });
        QVERIFY(shell.transfer(Path(t.path("a.xls")), Path(t.path("dst/a.xls")), FO_MOVE));
        QCOMPARE(renames, 1);
        QVERIFY(!QFile::exists(t.path("a.xls")));
        QCOMPARE(read_all(t.path("dst/a.xls")), QByteArray("m"));
    }

    void move_across_file_systems_copies_then_removes_the_source()
    {
        TestTree t;
        const QString away = second_file_system(t.root());
        if (away.isEmpty())
            QSKIP("no second file system (PELMORA_SECOND_FS or /dev/shm)");
        QTemporaryDir other(away + QStringLiteral("/pelmora-test-XXXXXX"));
        QVERIFY(other.isValid());
        QVERIFY(t.createFile("a.xls", kBig));
        const QDateTime old(QDate(2000, 1, 2), QTime(3, 4, 5));
        {
            QFile f(t.path("a.xls"));
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
        }
        ScriptedMessageBoxes boxes;
        CancellingProgress progress;
        PosixShell shell(boxes, &progress);
        const QString dst = other.path() + QStringLiteral("/a.xls");
        QVERIFY(shell.transfer(Path(t.path("a.xls")), Path(dst), FO_MOVE));
        QVERIFY(!QFile::exists(t.path("a.xls")));
        QCOMPARE(read_all(dst), kBig);
        QCOMPARE(QFileInfo(dst).lastModified(), old);
        QCOMPARE(entries(other.path()), QStringList{QStringLiteral("a.xls")});
        QCOMPARE(progress.begun, 1);
        QCOMPARE(progress.totals.front(), qint64(kBig.size()));
        QCOMPARE(progress.last_done, qint64(kBig.size()));
    }

    void move_failing_half_way_across_file_systems_loses_nothing()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls", kBig));
        QVERIFY(t.createFile("dst/a.xls", "old"));
        ScriptedMessageBoxes boxes;
        boxes.answers = {MsgAnswer::Yes};
        CancellingProgress progress;
        progress.cancel = true;
        PosixShell shell(boxes, &progress);
        shell.set_rename(cross_device);
        QVERIFY(!shell.transfer(Path(t.path("a.xls")), Path(t.path("dst/a.xls")), FO_MOVE));
        QCOMPARE(read_all(t.path("a.xls")), kBig);
        QCOMPARE(read_all(t.path("dst/a.xls")), QByteArray("old")); // back from the trash
        QCOMPARE(entries(t.path("dst")), QStringList{QStringLiteral("a.xls")});
    }

    void source_that_cannot_go_keeps_both_after_a_cross_device_copy()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls", "source"));
        QVERIFY(t.createDir("dst"));
        ScriptedMessageBoxes boxes;
        PosixShell shell(boxes, nullptr);
        shell.set_rename(cross_device);
        shell.set_unlink([](int, const char*) {
            errno = EACCES;
            return -1;
        });
        // Nothing replaced: the complete copy stays (as mv leaves it), the source stays.
        QVERIFY(!shell.transfer(Path(t.path("a.xls")), Path(t.path("dst/a.xls")), FO_MOVE));
        QCOMPARE(read_all(t.path("a.xls")), QByteArray("source"));
        QCOMPARE(read_all(t.path("dst/a.xls")), QByteArray("source"));

        // A replaced file goes back to its place; the source stays.
        QVERIFY(t.createFile("dst/b.xls", "old b"));
        QVERIFY(t.createFile("b.xls", "new b"));
        boxes.answers = {MsgAnswer::Yes};
        shell.set_rename(cross_device);
        QVERIFY(!shell.transfer(Path(t.path("b.xls")), Path(t.path("dst/b.xls")), FO_MOVE));
        QCOMPARE(read_all(t.path("b.xls")), QByteArray("new b"));
        QCOMPARE(read_all(t.path("dst/b.xls")), QByteArray("old b"));
        QCOMPARE(entries(t.path("dst")),
                 (QStringList{QStringLiteral("a.xls"), QStringLiteral("b.xls")}));
    }

    void source_saved_during_a_cross_device_move_stays_data()
    {
        QTest::addColumn<bool>("in_place");
        QTest::newRow("written in place") << true;
        QTest::newRow("saved as a new file over the name") << false;
    }
    void source_saved_during_a_cross_device_move_stays()
    {
        QFETCH(bool, in_place);
        TestTree t;
        QVERIFY(t.createFile("a.xls", kBig));
        QVERIFY(t.createDir("dst"));
        const QByteArray src = QFile::encodeName(t.path("a.xls"));
        const QByteArray newer = kBig + "edited";
        // The application saves while the copy runs (the progress is the copy's clock).
        class SavingProgress final : public CopyProgressFactory, public CopyProgress
        {
        public:
            std::function<void()> save;
            std::unique_ptr<CopyProgress> begin(const Path&, const Path&, qint64, Transfer) override
            {
                struct Forward final : CopyProgress
                {
                    explicit Forward(SavingProgress& o) : o(o) {}
                    bool update(qint64 d, qint64 t) override { return o.update(d, t); }
                    SavingProgress& o;
                };
                return std::make_unique<Forward>(*this);
            }
            bool update(qint64, qint64) override
            {
                if (save)
                    std::exchange(save, nullptr)();
                return true;
            }
        } progress;
        progress.save = [&] {
            if (in_place) {
                QFile f(t.path("a.xls"));
                QVERIFY(f.open(QIODevice::Append) && f.write("edited") == 6);
            } else {
                QVERIFY(t.createFile("saving.tmp", newer));
                QVERIFY(::rename(QFile::encodeName(t.path("saving.tmp")).constData(),
                                 src.constData()) == 0);
            }
        };
        ScriptedMessageBoxes boxes;
        PosixShell shell(boxes, &progress);
        shell.set_rename(cross_device);
        QVERIFY(!shell.transfer(Path(t.path("a.xls")), Path(t.path("dst/a.xls")), FO_MOVE));
        QCOMPARE(read_all(t.path("a.xls")), newer);
        QCOMPARE(entries(t.root()), (QStringList{QStringLiteral("a.xls"), QStringLiteral("dst")}));
        // A torn copy is not kept; a complete copy of the older version may be.
        if (in_place)
            QVERIFY(entries(t.path("dst")).isEmpty());
    }

    void the_file_acted_on_is_the_file_checked_data()
    {
        QTest::addColumn<QString>("request");
        QTest::newRow("same-drive move") << QStringLiteral("move");
        QTest::newRow("undo's move back") << QStringLiteral("move back");
        QTest::newRow("undo's delete of a copy") << QStringLiteral("delete");
        QTest::newRow("copy into a folder then swapped for a link") << QStringLiteral("copy");
        QTest::newRow("cross-drive move into a folder then swapped for a link")
            << QStringLiteral("across");
    }
    void the_file_acted_on_is_the_file_checked()
    {
        QFETCH(QString, request);
        TestTree t;
        QVERIFY(t.createFile("a.xls", "checked"));
        QVERIFY(t.createFile("other.xls", "the user's new file"));
        QVERIFY(t.createDir("dst"));
        const QString a = t.path("a.xls");
        const FileIdentity checked = PosixFileSystem{}.identity(Path(a));
        ScriptedMessageBoxes boxes;
        PosixShell shell(boxes, nullptr);
        const bool swap_folder =
            request == QLatin1String("copy") || request == QLatin1String("across");
        if (swap_folder)
            QVERIFY(t.createDir("elsewhere"));
        if (request == QLatin1String("across"))
            shell.set_rename(cross_device);
        // Between the check and the act another program saves a new file under the name, or
        // puts a link to another folder in the checked folder's place.
        shell.set_before_act([&](const QByteArray& path) {
            if (path != QFile::encodeName(a))
                return;
            if (!swap_folder) {
                ::rename(QFile::encodeName(t.path("other.xls")).constData(), path.constData());
            } else if (!QFileInfo(t.path("dst")).isSymLink()) {
                QVERIFY(QFile::rename(t.path("dst"), t.path("checked")));
                QVERIFY(QFile::link(t.path("elsewhere"), t.path("dst")));
            }
        });
        bool done = false;
        if (swap_folder) {
            done = shell.transfer(Path(a), Path(t.path("dst/a.xls")),
                                  request == QLatin1String("copy") ? FO_COPY : FO_MOVE);
            QVERIFY(entries(t.path("elsewhere")).isEmpty());
            QVERIFY(done);
            QCOMPARE(read_all(t.path("checked/a.xls")), QByteArray("checked"));
            return;
        }
        if (request == QLatin1String("delete")) {
            done = shell.delete_if_unchanged(Path(a), checked);
        } else {
            TransferReport report;
            if (request == QLatin1String("move back"))
                report.expected_source = checked;
            done = shell.transfer(Path(a), Path(t.path("dst/a.xls")), FO_MOVE, &report);
        }
        QVERIFY(!done);
        QCOMPARE(read_all(a), QByteArray("the user's new file"));
        QVERIFY(entries(t.path("dst")).isEmpty());
        QCOMPARE(entries(t.root()), (QStringList{QStringLiteral("a.xls"), QStringLiteral("dst")}));
    }

    void a_source_changed_after_its_copy_stays_data()
    {
        QTest::addColumn<bool>("in_place");
        QTest::addColumn<bool>("replacing");
        QTest::newRow("edited in place, its times put back") << true << false;
        QTest::newRow("edited in place, replacing a file") << true << true;
        QTest::newRow("saved as a new file over the name, replacing") << false << true;
    }
    void a_source_changed_after_its_copy_stays()
    {
        QFETCH(bool, in_place);
        QFETCH(bool, replacing);
        TestTree t;
        QVERIFY(t.createFile("a.xls", "version 1"));
        QVERIFY(t.createDir("dst"));
        if (replacing)
            QVERIFY(t.createFile("dst/a.xls", "old"));
        const QByteArray src = QFile::encodeName(t.path("a.xls"));
        const QString dst = t.path("dst/a.xls");
        ScriptedMessageBoxes boxes;
        boxes.answers = {MsgAnswer::Yes};
        PosixShell shell(boxes, nullptr);
        shell.set_rename(cross_device);
        // The application saves once the copy is complete, before the source goes.
        shell.set_before_act([&](const QByteArray& path) {
            if (path != src || !QFile::exists(dst))
                return;
            if (in_place) {
                struct stat st
                {};
                QVERIFY(::stat(src.constData(), &st) == 0);
                const int fd = ::open(src.constData(), O_WRONLY | O_CLOEXEC);
                QVERIFY(fd >= 0 && ::write(fd, "version 2", 9) == 9 && ::close(fd) == 0);
                const struct timespec times[2] = {st.st_atim, st.st_mtim};
                QVERIFY(::utimensat(AT_FDCWD, src.constData(), times, 0) == 0);
            } else {
                QVERIFY(t.createFile("saving.tmp", "version 2"));
                QVERIFY(::rename(QFile::encodeName(t.path("saving.tmp")).constData(),
                                 src.constData()) == 0);
            }
        });
        QVERIFY(!shell.transfer(Path(t.path("a.xls")), Path(dst), FO_MOVE));
        QCOMPARE(read_all(t.path("a.xls")), QByteArray("version 2"));
        QCOMPARE(read_all(dst), replacing ? QByteArray("old") : QByteArray("version 1"));
        QCOMPARE(entries(t.path("dst")), QStringList{QStringLiteral("a.xls")});
        QCOMPARE(entries(t.root()), (QStringList{QStringLiteral("a.xls"), QStringLiteral("dst")}));
    }

    void a_failed_sync_is_a_failure_data()
    {
        QTest::addColumn<QString>("request");
        QTest::newRow("cross-drive move replacing a file") << QStringLiteral("across, replacing");
        QTest::newRow("cross-drive move") << QStringLiteral("across");
        QTest::newRow("same-drive move") << QStringLiteral("move");
        QTest::newRow("same-drive move replacing a file") << QStringLiteral("move, replacing");
        QTest::newRow("trash") << QStringLiteral("trash");
    }
    void a_failed_sync_is_a_failure()
    {
        QFETCH(QString, request);
        const bool across = request.startsWith(QLatin1String("across"));
        TestTree t;
        QVERIFY(t.createFile("a.xls", "new"));
        QVERIFY(t.createDir("dst"));
        if (request.endsWith(QLatin1String("replacing")))
            QVERIFY(t.createFile("dst/a.xls", "old"));
        const QDir info(QString::fromLocal8Bit(trash_info_folder()));
        const qsizetype entriesBefore = info.entryList(QDir::Files).size();
        ScriptedMessageBoxes boxes;
        boxes.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
        PosixShell shell(boxes, nullptr);
        int syncs = 0;
        shell.set_sync([&syncs](int) {
            ++syncs;
            errno = EIO;
            return -1;
        });
        if (across)
            shell.set_rename(cross_device);
        const QString a = t.path("a.xls");
        const QString dst = t.path("dst/a.xls");
        const bool ok = request == QLatin1String("trash")
                            ? shell.remove({Path(a)}, false, nullptr) == 0
                            : shell.transfer(Path(a), Path(dst), FO_MOVE);
        QVERIFY(!ok);
        QVERIFY(syncs > 0);
        // Not known to be on disk, so failed: the source stays, the destination and the trash
        // are as they were.
        QCOMPARE(read_all(a), QByteArray("new"));
        QCOMPARE(QFile::exists(dst), request.endsWith(QLatin1String("replacing")));
        if (QFile::exists(dst))
            QCOMPARE(read_all(dst), QByteArray("old"));
        QCOMPARE(info.entryList(QDir::Files).size(), entriesBefore);
    }

    void a_trash_killed_between_entry_and_move_leaves_no_entry()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls", "kept"));
        QVERIFY(t.createFile("b.xls", "b"));
        const QDir info(QString::fromLocal8Bit(trash_info_folder()));
        const QStringList before = info.entryList(QDir::Files);
        const pid_t pid = ::fork();
        QVERIFY(pid >= 0);
        if (pid == 0) {
            ScriptedMessageBoxes boxes;
            boxes.answers = {MsgAnswer::Yes};
            PosixShell shell(boxes, nullptr);
            shell.set_before_act([](const QByteArray&) { ::_exit(0); }); // killed right here
            shell.remove({Path(t.path("a.xls"))}, false, nullptr);
            ::_exit(1);
        }
        int status = 0;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QCOMPARE(read_all(t.path("a.xls")), QByteArray("kept"));
        QCOMPARE(info.entryList(QDir::Files).size(), before.size() + 1); // an entry, no file

        // The next trash into that folder clears the entry the killed run left.
        ScriptedMessageBoxes boxes;
        boxes.answers = {MsgAnswer::Yes};
        PosixShell shell(boxes, nullptr);
        QList<TrashedFile> where;
        QCOMPARE(shell.remove({Path(t.path("b.xls"))}, false, &where), 0);
        QStringList expected = before;
        expected.append(QFileInfo(where.front().info.text()).fileName());
        expected.sort();
        QCOMPARE(info.entryList(QDir::Files, QDir::Name), expected);
        QCOMPARE(read_all(t.path("a.xls")), QByteArray("kept"));
    }

    void a_move_across_file_systems_keeps_owner_and_mode_data()
    {
        QTest::addColumn<bool>("link");
        QTest::addColumn<bool>("as_owner");
        QTest::newRow("a user's file moved by root") << false << false;
        QTest::newRow("a user's link moved by root") << true << false;
        QTest::newRow("a file moved by its owner") << false << true;
    }
    void a_move_across_file_systems_keeps_owner_and_mode()
    {
        QFETCH(bool, link);
        QFETCH(bool, as_owner);
        if (!as_owner && ::geteuid() != 0)
            QSKIP("only root can give a file to another user");
        TestTree t;
        QVERIFY(t.createDir("u"));
        const QByteArray u = QFile::encodeName(t.path("u"));
        QVERIFY(::chmod(QFile::encodeName(t.root()).constData(), 0755) == 0);
        QVERIFY(::chmod(u.constData(), 0777) == 0);
        const QByteArray a = u + "/a.xls";
        if (link)
            QVERIFY(::symlink("somewhere.xls", a.constData()) == 0);
        else
            QVERIFY(t.createFile("u/a.xls", "user's") && ::chmod(a.constData(), 0640) == 0);
        QVERIFY(give_to_nobody(a));
        const QString dst = t.path("u/b.xls");
        const auto move = [&] {
            ScriptedMessageBoxes boxes;
            PosixShell shell(boxes, nullptr);
            shell.set_rename(cross_device);
            return shell.transfer(Path(QString::fromUtf8(a)), Path(dst), FO_MOVE) ? 0 : 1;
        };
        QCOMPARE(as_owner ? run_unprivileged(move) : move(), 0);
        struct stat st
        {};
        QVERIFY(::lstat(QFile::encodeName(dst).constData(), &st) == 0);
        QCOMPARE(st.st_uid, ::geteuid() == 0 ? nobody_uid() : ::geteuid());
        QCOMPARE(st.st_gid, ::geteuid() == 0 ? nobody_gid() : ::getegid());
        QCOMPARE(S_ISLNK(st.st_mode), link);
        if (!link)
            QCOMPARE(st.st_mode & 07777, mode_t(0640));
        QVERIFY(!QFileInfo(QString::fromUtf8(a)).isSymLink() &&
                !QFile::exists(QString::fromUtf8(a)));
    }

    void unprivileged_move_from_a_read_only_folder_touches_nothing()
    {
        TestTree t;
        QTemporaryDir other(QStringLiteral("/dev/shm/pelmora-test-XXXXXX"));
        QVERIFY(other.isValid());
        QVERIFY(t.createFile("ro/a.xls", "source"));
        const QByteArray root = QFile::encodeName(t.root());
        const QByteArray ro = QFile::encodeName(t.path("ro"));
        const QByteArray dst = QFile::encodeName(other.path() + QStringLiteral("/a.xls"));
        QVERIFY(::chmod(root.constData(), 0755) == 0);
        QVERIFY(::chmod(other.path().toUtf8().constData(), 0777) == 0);
        QVERIFY(::chmod(ro.constData(), 0555) == 0);
        QVERIFY(t.createFile("old.xls", "old destination"));
        QVERIFY(QFile::copy(t.path("old.xls"), QString::fromUtf8(dst)));
        QVERIFY(give_to_nobody(dst));
        const QByteArray home = QFile::encodeName(other.path() + QStringLiteral("/home"));
        QVERIFY(::mkdir(home.constData(), 0700) == 0 && give_to_nobody(home));
        // The same through a sticky folder whose file belongs to someone else.
        const QByteArray sticky = root + "sticky";
        QVERIFY(::mkdir(sticky.constData(), 01777) == 0 && ::chmod(sticky.constData(), 01777) == 0);
        QVERIFY(t.createFile("sticky/b.xls", "not yours"));
        const QByteArray dstB = QFile::encodeName(other.path() + QStringLiteral("/b.xls"));

        const int rc = run_unprivileged([&] {
            qputenv("XDG_DATA_HOME", home);
            ScriptedMessageBoxes boxes;
            boxes.answers = {MsgAnswer::Yes};
            PosixShell shell(boxes, nullptr);
            if (shell.transfer(Path(t.path("ro/a.xls")), Path(QString::fromUtf8(dst)), FO_MOVE))
                return 1;
            if (!boxes.shown.isEmpty())
                return 2; // refused before the replace question
            if (shell.transfer(Path(t.path("sticky/b.xls")), Path(QString::fromUtf8(dstB)),
                               FO_MOVE))
                return 3;
            return 0;
        });
        QCOMPARE(rc, 0);
        QCOMPARE(read_all(t.path("ro/a.xls")), QByteArray("source"));
        QCOMPARE(read_all(QString::fromUtf8(dst)), QByteArray("old destination"));
        QCOMPARE(read_all(t.path("sticky/b.xls")), QByteArray("not yours"));
        QVERIFY(!QFile::exists(QString::fromUtf8(dstB)));
        QVERIFY(::chmod(ro.constData(), 0755) == 0);
    }

    void a_link_moved_across_file_systems_stays_a_link()
    {
        TestTree t;
        const QString away = second_file_system(t.root());
        if (away.isEmpty())
            QSKIP("no second file system (PELMORA_SECOND_FS or /dev/shm)");
        QTemporaryDir other(away + QStringLiteral("/pelmora-test-XXXXXX"));
        QVERIFY(other.isValid());
        QVERIFY(t.createFile("target.xls", "pointed at"));
        QVERIFY(::symlink("target.xls", QFile::encodeName(t.path("link.xls")).constData()) == 0);
        QVERIFY(::symlink("/nowhere/x.xls",
                          QFile::encodeName(t.path("dangling.xls")).constData()) == 0);
        ScriptedMessageBoxes boxes;
        PosixShell shell(boxes, nullptr);
        for (const char* name : {"link.xls", "dangling.xls"}) {
            const QString dst = other.path() + QLatin1Char('/') + QLatin1String(name);
            QVERIFY(shell.transfer(Path(t.path(QLatin1String(name))), Path(dst), FO_MOVE));
            QVERIFY(QFileInfo(dst).isSymLink());
            QVERIFY(!QFileInfo::exists(t.path(QLatin1String(name))) &&
                    !QFileInfo(t.path(QLatin1String(name))).isSymLink());
        }
        QCOMPARE(QFile::symLinkTarget(other.path() + QStringLiteral("/dangling.xls")),
                 QStringLiteral("/nowhere/x.xls"));
        QCOMPARE(read_all(t.path("target.xls")), QByteArray("pointed at"));
    }

    void copies_leave_no_temporaries_and_clear_stale_ones()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls", "data"));
        QVERIFY(t.createDir("dst"));
        // A crashed writer's leftover, a live writer's file and a user's hidden file.
        const QString prefix = QString::fromLatin1(PosixCopier::temp_prefix());
        const QString stale = prefix + QStringLiteral("999999999-abcdef");
        const QString live = prefix + QString::number(::getppid()) + QStringLiteral("-abcdef");
        QVERIFY(t.createFile(QStringLiteral("dst/") + stale, "stale"));
        QVERIFY(t.createFile(QStringLiteral("dst/") + live, "live"));
        QVERIFY(t.createFile("dst/.hidden", "user"));
        ScriptedMessageBoxes boxes;
        PosixShell shell(boxes, nullptr);
        QVERIFY(shell.transfer(Path(t.path("a.xls")), Path(t.path("dst/unnamed.xls")), FO_COPY));
        shell.copier().set_use_unnamed(false);
        shell.begin_command();
        QVERIFY(shell.transfer(Path(t.path("a.xls")), Path(t.path("dst/named.xls")), FO_COPY));
        QVERIFY(shell.end_command());
        QCOMPARE(entries(t.path("dst")),
                 (QStringList{QStringLiteral(".hidden"), live, QStringLiteral("named.xls"),
                              QStringLiteral("unnamed.xls")}));
        QCOMPARE(read_all(t.path("dst/named.xls")), QByteArray("data"));
        QCOMPARE(read_all(t.path("dst/unnamed.xls")), QByteArray("data"));
    }

    void raw_byte_names_are_copied_moved_and_trashed_exactly()
    {
        TestTree t;
        QVERIFY(t.createDir("dst"));
        const QByteArray root = QFile::encodeName(t.root());
        const QByteArray raw = root + "caf\xe9.xls";
        const QByteArray twin = root + "caf\xef\xbf\xbd.xls";
        for (const auto& [path, text] :
             {std::pair{raw, QByteArray("exact")}, std::pair{twin, QByteArray("decoy")}}) {
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            QVERIFY(fd >= 0);
            QVERIFY(::write(fd, text.constData(), std::size_t(text.size())) == text.size());
            ::close(fd);
        }
        const QString src = native_path::from_native(raw);
        const QString copied = native_path::from_native(root + "dst/caf\xe9.xls");
        const QString moved = native_path::from_native(root + "dst/moved\xe9.xls");
        ScriptedMessageBoxes boxes;
        boxes.answers = {MsgAnswer::Yes};
        PosixShell shell(boxes, nullptr);
        QVERIFY(shell.transfer(Path(src), Path(copied), FO_COPY));
        QVERIFY(shell.transfer(Path(copied), Path(moved), FO_MOVE));
        QList<TrashedFile> trashed;
        QCOMPARE(shell.remove({Path(moved)}, false, &trashed), 0);
        QCOMPARE(trashed.size(), 1);
        QCOMPARE(read_all(trashed.front().file.text()),
                 QByteArray()); // Qt cannot name it; bytes can:
        const int fd = ::open(trashed.front().file.bytes().constData(), O_RDONLY);
        QVERIFY(fd >= 0);
        char buf[16] = {};
        QCOMPARE(::read(fd, buf, sizeof buf), ssize_t(5));
        ::close(fd);
        QCOMPARE(QByteArray(buf), QByteArray("exact"));
        QVERIFY(QFileInfo::exists(QString::fromUtf8(twin)));
        QCOMPARE(read_all(QString::fromUtf8(twin)), QByteArray("decoy"));
        QVERIFY(boxes.shown.front().text.contains(native_path::readable(moved)));
        ::unlink(raw.constData());
        QVERIFY(shell.restore(trashed.front()));
        ::unlink(native_path::to_native(moved).constData());
    }

    void delete_if_unchanged_spares_a_changed_or_replaced_file()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls", "copy"));
        ScriptedMessageBoxes boxes;
        PosixShell shell(boxes, nullptr);
        const QString a = t.path("a.xls");
        FileIdentity made = PosixFileSystem{}.identity(Path(a));
        // Edited since (same size, new time).
        QVERIFY(t.createFile("a.xls", "edit"));
        QVERIFY(!shell.delete_if_unchanged(Path(a), made));
        QCOMPARE(read_all(a), QByteArray("edit"));
        // Replaced by another file.
        made = PosixFileSystem{}.identity(Path(a));
        QVERIFY(QFile::remove(a));
        QVERIFY(t.createFile("b.xls", "other"));
        QVERIFY(QFile::rename(t.path("b.xls"), a));
        QVERIFY(!shell.delete_if_unchanged(Path(a), made));
        QCOMPARE(read_all(a), QByteArray("other"));
        // Untouched: deleted.
        QVERIFY(shell.delete_if_unchanged(Path(a), PosixFileSystem{}.identity(Path(a))));
        QVERIFY(!QFile::exists(a));
    }

    void simulated_cross_device_move_completes()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls", "go"));
        QVERIFY(t.createDir("dst"));
        ScriptedMessageBoxes boxes;
        PosixShell shell(boxes, nullptr);
        shell.set_rename(cross_device);
        QVERIFY(shell.transfer(Path(t.path("a.xls")), Path(t.path("dst/a.xls")), FO_MOVE));
        QVERIFY(!QFile::exists(t.path("a.xls")));
        QCOMPARE(read_all(t.path("dst/a.xls")), QByteArray("go"));
        QCOMPARE(entries(t.path("dst")), QStringList{QStringLiteral("a.xls")});
    }

    void cancelled_large_copy_leaves_no_partial_file()
    {
        TestTree t;
        QVERIFY(t.createFile("big.xls", kBig));
        QVERIFY(t.createDir("dst"));
        ScriptedMessageBoxes boxes;
        CancellingProgress progress;
        progress.cancel = true;
        PosixShell shell(boxes, &progress);
        QVERIFY(!shell.transfer(Path(t.path("big.xls")), Path(t.path("dst/big2.xls")), FO_COPY));
        QCOMPARE(progress.updates, 1);
        QCOMPARE(read_all(t.path("big.xls")), kBig);
        QVERIFY(!QFile::exists(t.path("dst/big2.xls")));
        QVERIFY(!entries(t.path("dst")).contains(QStringLiteral("big2.xls")));
        for (const QString& e : entries(t.path("dst")))
            QVERIFY2(!e.startsWith(QLatin1Char('.')), qPrintable(e));
    }

    void small_copies_show_no_progress()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls", "s"));
        ScriptedMessageBoxes boxes;
        CancellingProgress progress;
        progress.cancel = true; // would fail the copy if it were asked
        PosixShell shell(boxes, &progress);
        QVERIFY(shell.transfer(Path(t.path("a.xls")), Path(t.path("b.xls")), FO_COPY));
        QCOMPARE(progress.begun, 0);
    }

    void trash_asks_once_and_reports_where_files_went()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls", "1"));
        QVERIFY(t.createFile("b.xls", "2"));
        ScriptedMessageBoxes boxes;
        boxes.answers = {MsgAnswer::Yes};
        PosixShell shell(boxes, nullptr);
        CountingYield yield;
        shell.set_event_yield(&yield);
        const QStringList paths{t.path("a.xls"), t.path("b.xls")};
        QList<TrashedFile> where;
        QCOMPARE(shell.remove(pelmora::paths(paths), false, &where), 0);
        QVERIFY(yield.calls > 0); // the window is not frozen while the trash works
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown.front().text,
                 QStringLiteral("2個のファイルをごみ箱へ移動します\r\nよろしいですか"));
        QCOMPARE(where.size(), 2);
        for (int i = 0; i < 2; ++i) {
            QVERIFY(!QFile::exists(paths[i]));
            QVERIFY2(where[i].file.text().startsWith(m_home.path()),
                     qPrintable(where[i].file.text()));
            QCOMPARE(read_all(where[i].file.text()), QByteArray::number(i + 1));
            QCOMPARE(where[i].original, Path(paths[i]));
        }
    }

    void trash_declined_or_failed_is_non_zero()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls"));
        ScriptedMessageBoxes boxes;
        boxes.answers = {MsgAnswer::No};
        PosixShell shell(boxes, nullptr);
        const QString a = t.path("a.xls");
        QVERIFY(shell.remove({Path(a)}, false, nullptr) != 0);
        QVERIFY(QFile::exists(a));
        QCOMPARE(boxes.shown.front().text,
                 QStringLiteral("ファイル(") + a +
                     QStringLiteral(")をごみ箱へ移動します\r\nよろしいですか"));

        boxes.answers = {MsgAnswer::Yes};
        QList<TrashedFile> where;
        QVERIFY(shell.remove({Path(t.path("gone.xls")), Path(a)}, false, &where) != 0);
        QVERIFY(!QFile::exists(a)); // the one that could go, went
        QCOMPARE(where.size(), 2);
        QVERIFY(!where[0].isValid());

        boxes.shown.clear();
        QVERIFY(shell.remove({Path(QString())}, false, nullptr) != 0);
        QVERIFY(boxes.shown.isEmpty()); // nothing to ask about
    }
};

QTEST_GUILESS_MAIN(TestPosixShell)
#include "tst_posix_shell.moc"
