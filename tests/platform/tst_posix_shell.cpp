// The POSIX shell layer on real files: copy keeps time and permissions, replace question,
// rename within and copy across file systems, no partial file after any failure, the trash.
#include "fakes.h"
#include "platform/posix_shell.h"
#include "test_tree.h"

#include <QDirIterator>
#include <QStandardPaths>
#include <QtTest>
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

class CancellingProgress final : public CopyProgressFactory
{
public:
    std::unique_ptr<CopyProgress> begin(const QString&, const QString&, qint64 total) override
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
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.path() + QStringLiteral("/share")));
        QStandardPaths::setTestModeEnabled(true);
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
        QVERIFY(shell.transfer(t.path("a.xls"), t.path("dst/a.xls"), FO_COPY, 0));
        QCOMPARE(read_all(t.path("dst/a.xls")), QByteArray("new"));
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
        QVERIFY(t.createFile("a.xls", "keep me"));
        QVERIFY(t.createDir("dst"));
        ScriptedMessageBoxes boxes;
        PosixShell shell(boxes, nullptr);
        const QByteArray src = QFile::encodeName(t.path("a.xls"));
        // The source seems to be on another file system, and the copy's final rename fails.
        shell.set_rename([src](const char* a, const char*) {
            errno = QByteArray(a) == src ? EXDEV : EIO;
            return -1;
        });
        QVERIFY(!shell.transfer(t.path("a.xls"), t.path("dst/a.xls"), FO_MOVE, 0));
        QCOMPARE(read_all(t.path("a.xls")), QByteArray("keep me"));
        QCOMPARE(entries(t.path("dst")), QStringList());
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
        QStringList where;
        QCOMPARE(shell.remove(paths, false, &where), 0);
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown.front().text,
                 QStringLiteral("2個のファイルをごみ箱へ移動します\r\nよろしいですか"));
        QCOMPARE(where.size(), 2);
        for (int i = 0; i < 2; ++i) {
            QVERIFY(!QFile::exists(paths[i]));
            QVERIFY2(where[i].startsWith(m_home.path()), qPrintable(where[i]));
            QCOMPARE(read_all(where[i]), QByteArray::number(i + 1));
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
        QStringList where;
        QVERIFY(shell.remove({t.path("gone.xls"), a}, false, &where) != 0);
        QVERIFY(!QFile::exists(a)); // the one that could go, went
        QCOMPARE(where.size(), 2);
        QVERIFY(where[0].isEmpty());

        boxes.shown.clear();
        QVERIFY(shell.remove({QString()}, false, nullptr) != 0);
        QVERIFY(boxes.shown.isEmpty()); // nothing to ask about
    }
};

QTEST_GUILESS_MAIN(TestPosixShell)
#include "tst_posix_shell.moc"
