// SPDX-License-Identifier: GPL-3.0-or-later
// The POSIX shell layer on real files: copy keeps time and permissions, replace question,
// rename within and copy across file systems, no partial file after any failure, the trash.
#include "backends/posix/posix_io.h"
#include "backends/posix/posix_shell.h"
#include "base/native_path.h"
#include "fakes.h"
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
#include <unistd.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

class CancellingProgress final : public CopyProgressFactory
{
public:
    std::unique_ptr<CopyProgress> begin(const QString&, const QString&, qint64 total,
                                        Transfer) override
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

dev_t device_of(const QString& path)
{
    struct stat st
    {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_dev : dev_t(0);
}

const QByteArray kBig(5 * 1024 * 1024 + 123, 'b');

// A rename that fails for src as between file systems, and renames anything else.
PosixShell::RenameFn cross_device_for(const QString& src)
{
    const QByteArray s = QFile::encodeName(src);
    return [s](const char* a, const char* b) {
        if (QByteArray(a) == s) {
            errno = EXDEV;
            return -1;
        }
        return posix::rename_no_replace(a, b);
    };
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
        QVERIFY(shell.transfer(src, dst, FO_COPY, 0));
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
        QVERIFY(!shell.transfer(t.path("a.xls"), dst, FO_MOVE, 0));
        QCOMPARE(read_all(dst), QByteArray("old"));
        QCOMPARE(read_all(t.path("a.xls")), QByteArray("new"));
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown.front().text, replace_question(dst));
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
        QVERIFY(shell.transfer(t.path("a.xls"), t.path("dst/a.xls"), FO_COPY, 0, &report));
        QCOMPARE(read_all(t.path("dst/a.xls")), QByteArray("new"));
        QCOMPARE(entries(t.path("dst")), QStringList{QStringLiteral("a.xls")});
        // The replaced file is in the trash, and can go back once the new one is gone.
        QVERIFY(report.replaced.isValid());
        QCOMPARE(report.replaced.original, t.path("dst/a.xls"));
        QCOMPARE(read_all(report.replaced.file), QByteArray("old"));
        QVERIFY(report.made.same_file(identity_of(t.path("dst/a.xls"))));
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
        const bool copied = shell.transfer(t.path("a.xls"), t.path("dst/a.xls"), FO_COPY, 0);
        const bool moved = shell.transfer(t.path("a.xls"), t.path("dst/a.xls"), FO_MOVE, 0);
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
        QVERIFY(!shell.transfer(p, p, FO_COPY, 0));
        QVERIFY(!shell.transfer(p, p, FO_MOVE, 0));
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
        shell.set_rename([&renames](const char* a, const char* b) {
            ++renames;
            return std::rename(a, b);
        });
        QVERIFY(shell.transfer(t.path("a.xls"), t.path("dst/a.xls"), FO_MOVE, 0));
        QCOMPARE(renames, 1);
        QVERIFY(!QFile::exists(t.path("a.xls")));
        QCOMPARE(read_all(t.path("dst/a.xls")), QByteArray("m"));
    }

    void move_across_file_systems_copies_then_removes_the_source()
    {
        TestTree t;
        QTemporaryDir other(QStringLiteral("/dev/shm/pelmora-test-XXXXXX"));
        if (!other.isValid() || device_of(other.path()) == device_of(t.root()))
            QSKIP("no second file system at /dev/shm");
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
        QVERIFY(shell.transfer(t.path("a.xls"), dst, FO_MOVE, 0));
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
        shell.set_rename(cross_device_for(t.path("a.xls")));
        QVERIFY(!shell.transfer(t.path("a.xls"), t.path("dst/a.xls"), FO_MOVE, 0));
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
        shell.set_rename(cross_device_for(t.path("a.xls")));
        shell.set_unlink([](const char*) {
            errno = EACCES;
            return -1;
        });
        // Nothing replaced: the complete copy stays (as mv leaves it), the source stays.
        QVERIFY(!shell.transfer(t.path("a.xls"), t.path("dst/a.xls"), FO_MOVE, 0));
        QCOMPARE(read_all(t.path("a.xls")), QByteArray("source"));
        QCOMPARE(read_all(t.path("dst/a.xls")), QByteArray("source"));

        // A replaced file goes back to its place; the source stays.
        QVERIFY(t.createFile("dst/b.xls", "old b"));
        QVERIFY(t.createFile("b.xls", "new b"));
        boxes.answers = {MsgAnswer::Yes};
        shell.set_rename(cross_device_for(t.path("b.xls")));
        QVERIFY(!shell.transfer(t.path("b.xls"), t.path("dst/b.xls"), FO_MOVE, 0));
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
            std::unique_ptr<CopyProgress> begin(const QString&, const QString&, qint64,
                                                Transfer) override
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
        shell.set_rename(cross_device_for(t.path("a.xls")));
        QVERIFY(!shell.transfer(t.path("a.xls"), t.path("dst/a.xls"), FO_MOVE, 0));
        QCOMPARE(read_all(t.path("a.xls")), newer);
        QCOMPARE(entries(t.root()), (QStringList{QStringLiteral("a.xls"), QStringLiteral("dst")}));
        // A torn copy is not kept; a complete copy of the older version may be.
        if (in_place)
            QVERIFY(entries(t.path("dst")).isEmpty());
    }

    void move_of_a_checked_file_puts_back_a_file_swapped_in_meanwhile()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls", "checked"));
        QVERIFY(t.createFile("other.xls", "the user's new file"));
        QVERIFY(t.createDir("dst"));
        TransferReport report;
        report.expected_source = identity_of(t.path("a.xls"));
        ScriptedMessageBoxes boxes;
        PosixShell shell(boxes, nullptr);
        // Between the check and the rename another program saves a new file under the name.
        shell.set_rename([&](const char* a, const char* b) {
            const QByteArray src = QFile::encodeName(t.path("a.xls"));
            if (QByteArray(a) == src)
                ::rename(QFile::encodeName(t.path("other.xls")).constData(), src.constData());
            return posix::rename_no_replace(a, b);
        });
        QVERIFY(!shell.transfer(t.path("a.xls"), t.path("dst/a.xls"), FO_MOVE, 0, &report));
        QCOMPARE(read_all(t.path("a.xls")), QByteArray("the user's new file"));
        QVERIFY(entries(t.path("dst")).isEmpty());
    }

    void root_moving_a_users_file_across_devices_keeps_its_owner()
    {
        if (::geteuid() != 0)
            QSKIP("only root can give a file to another user");
        TestTree t;
        QVERIFY(t.createFile("a.xls", "user's"));
        QVERIFY(t.createDir("dst"));
        QVERIFY(give_to_nobody(QFile::encodeName(t.path("a.xls"))));
        ScriptedMessageBoxes boxes;
        PosixShell shell(boxes, nullptr);
        shell.set_rename(cross_device_for(t.path("a.xls")));
        QVERIFY(shell.transfer(t.path("a.xls"), t.path("dst/a.xls"), FO_MOVE, 0));
        struct stat st
        {};
        QVERIFY(::stat(QFile::encodeName(t.path("dst/a.xls")).constData(), &st) == 0);
        QCOMPARE(st.st_uid, nobody_uid());
        QCOMPARE(st.st_gid, nobody_gid());
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
            if (shell.transfer(t.path("ro/a.xls"), QString::fromUtf8(dst), FO_MOVE, 0))
                return 1;
            if (!boxes.shown.isEmpty())
                return 2; // refused before the replace question
            if (shell.transfer(t.path("sticky/b.xls"), QString::fromUtf8(dstB), FO_MOVE, 0))
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
        QTemporaryDir other(QStringLiteral("/dev/shm/pelmora-test-XXXXXX"));
        if (!other.isValid() || device_of(other.path()) == device_of(t.root()))
            QSKIP("no second file system at /dev/shm");
        QVERIFY(t.createFile("target.xls", "pointed at"));
        QVERIFY(::symlink("target.xls", QFile::encodeName(t.path("link.xls")).constData()) == 0);
        QVERIFY(::symlink("/nowhere/x.xls",
                          QFile::encodeName(t.path("dangling.xls")).constData()) == 0);
        ScriptedMessageBoxes boxes;
        PosixShell shell(boxes, nullptr);
        for (const char* name : {"link.xls", "dangling.xls"}) {
            const QString dst = other.path() + QLatin1Char('/') + QLatin1String(name);
            QVERIFY(shell.transfer(t.path(QLatin1String(name)), dst, FO_MOVE, 0));
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
        QVERIFY(shell.transfer(t.path("a.xls"), t.path("dst/unnamed.xls"), FO_COPY, 0));
        shell.copier().set_use_unnamed(false);
        shell.begin_command();
        QVERIFY(shell.transfer(t.path("a.xls"), t.path("dst/named.xls"), FO_COPY, 0));
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
        QVERIFY(shell.transfer(src, copied, FO_COPY, 0));
        QVERIFY(shell.transfer(copied, moved, FO_MOVE, 0));
        QList<TrashedFile> trashed;
        QCOMPARE(shell.remove({moved}, false, &trashed), 0);
        QCOMPARE(trashed.size(), 1);
        QCOMPARE(read_all(trashed.front().file), QByteArray()); // Qt cannot name it; bytes can:
        const int fd = ::open(native_path::to_native(trashed.front().file).constData(), O_RDONLY);
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
        FileIdentity made = identity_of(a);
        // Edited since (same size, new time).
        QVERIFY(t.createFile("a.xls", "edit"));
        QVERIFY(!shell.delete_if_unchanged(a, made));
        QCOMPARE(read_all(a), QByteArray("edit"));
        // Replaced by another file.
        made = identity_of(a);
        QVERIFY(QFile::remove(a));
        QVERIFY(t.createFile("b.xls", "other"));
        QVERIFY(QFile::rename(t.path("b.xls"), a));
        QVERIFY(!shell.delete_if_unchanged(a, made));
        QCOMPARE(read_all(a), QByteArray("other"));
        // Untouched: deleted.
        QVERIFY(shell.delete_if_unchanged(a, identity_of(a)));
        QVERIFY(!QFile::exists(a));
    }

    void simulated_cross_device_move_completes()
    {
        TestTree t;
        QVERIFY(t.createFile("a.xls", "go"));
        QVERIFY(t.createDir("dst"));
        ScriptedMessageBoxes boxes;
        PosixShell shell(boxes, nullptr);
        const QByteArray src = QFile::encodeName(t.path("a.xls"));
        shell.set_rename([src](const char* a, const char* b) {
            if (QByteArray(a) == src) {
                errno = EXDEV;
                return -1;
            }
            return std::rename(a, b);
        });
        QVERIFY(shell.transfer(t.path("a.xls"), t.path("dst/a.xls"), FO_MOVE, 0));
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
        QVERIFY(!shell.transfer(t.path("big.xls"), t.path("dst/big2.xls"), FO_COPY, 0));
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
        QVERIFY(shell.transfer(t.path("a.xls"), t.path("b.xls"), FO_COPY, 0));
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
        const QStringList paths{t.path("a.xls"), t.path("b.xls")};
        QList<TrashedFile> where;
        QCOMPARE(shell.remove(paths, false, &where), 0);
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown.front().text,
                 QStringLiteral("2個のファイルをごみ箱へ移動します\r\nよろしいですか"));
        QCOMPARE(where.size(), 2);
        for (int i = 0; i < 2; ++i) {
            QVERIFY(!QFile::exists(paths[i]));
            QVERIFY2(where[i].file.startsWith(m_home.path()), qPrintable(where[i].file));
            QCOMPARE(read_all(where[i].file), QByteArray::number(i + 1));
            QCOMPARE(where[i].original, paths[i]);
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
        QVERIFY(shell.remove({a}, false, nullptr) != 0);
        QVERIFY(QFile::exists(a));
        QCOMPARE(boxes.shown.front().text,
                 QStringLiteral("ファイル(") + a +
                     QStringLiteral(")をごみ箱へ移動します\r\nよろしいですか"));

        boxes.answers = {MsgAnswer::Yes};
        QList<TrashedFile> where;
        QVERIFY(shell.remove({t.path("gone.xls"), a}, false, &where) != 0);
        QVERIFY(!QFile::exists(a)); // the one that could go, went
        QCOMPARE(where.size(), 2);
        QVERIFY(!where[0].isValid());

        boxes.shown.clear();
        QVERIFY(shell.remove({QString()}, false, nullptr) != 0);
        QVERIFY(boxes.shown.isEmpty()); // nothing to ask about
    }
};

QTEST_GUILESS_MAIN(TestPosixShell)
#include "tst_posix_shell.moc"
