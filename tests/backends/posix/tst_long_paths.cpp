// SPDX-License-Identifier: GPL-3.0-or-later
// The shell layer on a file whose full path is longer than PATH_MAX: copy out and back in,
// move within and across file systems, replace, trash and restore, identity and the
// delete-if-unchanged of the undo. Bytes are checked through descriptors, not whole paths.
#include "backends/posix/posix_io.h"
#include "backends/posix/posix_shell.h"
#include "base/native_path.h"
#include "deep_folders.h"
#include "fakes.h"
#include "temporary_home.h"
#include "test_tree.h"

#include <QStandardPaths>
#include <QtTest>
#include <cerrno>
#include <climits>
#include <cstdlib>

using namespace pelmora;
using namespace pelmora::test;
using native_path::from_native;
using native_path::to_native;

namespace {

QByteArray read_short(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The real path of a test tree's root, so stored trash paths can be compared byte for byte.
QByteArray real_root(const TestTree& t)
{
    char* r = ::realpath(QFile::encodeName(t.root()).constData(), nullptr);
    const QByteArray out = r ? QByteArray(r) + '/' : QByteArray();
    std::free(r);
    return out;
}

} // namespace

class TestLongPaths : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        use_temporary_home(m_home);
    }

    void copy_out_and_back_in()
    {
        TestTree t;
        DeepFolders deep(real_root(t));
        QVERIFY(deep.isValid());
        QVERIFY(deep.path().size() > 6000);
        QVERIFY(deep.write("a.xls", "deep content"));
        struct stat before
        {};
        QVERIFY(deep.stat("a.xls", before));
        const QString src = from_native(deep.path() + "a.xls");

        ScriptedMessageBoxes boxes;
        PosixShell shell(boxes, nullptr);
        TransferReport report;
        QVERIFY(shell.transfer(Path(src), Path(t.path("short.xls")), FO_COPY, &report));
        QCOMPARE(read_short(t.path("short.xls")), QByteArray("deep content"));
        QCOMPARE(deep.read("a.xls"), QByteArray("deep content"));
        QCOMPARE(QFileInfo(t.path("short.xls")).lastModified().toMSecsSinceEpoch(),
                 qint64(before.st_mtim.tv_sec) * 1000 + before.st_mtim.tv_nsec / 1000000);
        QVERIFY(report.made.same_file(PosixFileSystem{}.identity(Path(t.path("short.xls")))));

        // Back into the deep folder under a new name: no temporaries left beside it.
        const QString back = from_native(deep.path() + "b.xls");
        QVERIFY(shell.transfer(Path(t.path("short.xls")), Path(back), FO_COPY, &report));
        QCOMPARE(deep.read("b.xls"), QByteArray("deep content"));
        QCOMPARE(deep.names(), (QList<QByteArray>{"a.xls", "b.xls"}));
        struct stat made
        {};
        QVERIFY(deep.stat("b.xls", made));
        const FileIdentity id = PosixFileSystem{}.identity(Path(back));
        QVERIFY(id.valid);
        QCOMPARE(id.ino, quint64(made.st_ino));
        QVERIFY(report.made.same_file(id));

        // The hidden-name fallback reaches the deep folder too.
        PosixShell named(boxes, nullptr);
        named.copier().set_use_unnamed(false);
        QVERIFY(named.transfer(Path(src), Path::from_bytes(deep.path() + "c.xls"), FO_COPY));
        QCOMPARE(deep.read("c.xls"), QByteArray("deep content"));
        QCOMPARE(deep.names(), (QList<QByteArray>{"a.xls", "b.xls", "c.xls"}));

        // A copy onto itself or onto a folder is still refused.
        QVERIFY(!shell.transfer(Path(src), Path(src), FO_COPY));
        QVERIFY(boxes.shown.isEmpty());
    }

    void replace_sends_the_old_deep_file_to_the_trash()
    {
        TestTree t;
        DeepFolders deep(real_root(t));
        QVERIFY(deep.isValid());
        QVERIFY(deep.write("a.xls", "old"));
        QVERIFY(t.createFile("new.xls", "new"));
        ScriptedMessageBoxes boxes;
        boxes.answers = {MsgAnswer::Yes};
        PosixShell shell(boxes, nullptr);
        const QString dst = from_native(deep.path() + "a.xls");
        TransferReport report;
        QVERIFY(shell.transfer(Path(t.path("new.xls")), Path(dst), FO_COPY, &report));
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(deep.read("a.xls"), QByteArray("new"));
        QVERIFY(report.replaced.isValid());
        QCOMPARE(read_short(report.replaced.file.text()), QByteArray("old"));
        // The undo's way back: the new copy goes while unchanged, the old file returns.
        QVERIFY(shell.delete_if_unchanged(Path(dst), report.made));
        QCOMPARE(deep.read("a.xls"), QByteArray("<missing>"));
        QVERIFY(shell.restore(report.replaced));
        QCOMPARE(deep.read("a.xls"), QByteArray("old"));
        QVERIFY(!QFile::exists(report.replaced.info.text()));
    }

    void delete_if_unchanged_spares_an_edited_deep_file()
    {
        TestTree t;
        DeepFolders deep(real_root(t));
        QVERIFY(deep.isValid());
        QVERIFY(deep.write("a.xls", "one"));
        const QString path = from_native(deep.path() + "a.xls");
        const FileIdentity id = PosixFileSystem{}.identity(Path(path));
        QVERIFY(id.valid);
        QVERIFY(deep.write("a.xls", "edited, longer"));
        ScriptedMessageBoxes boxes;
        PosixShell shell(boxes, nullptr);
        QVERIFY(!shell.delete_if_unchanged(Path(path), id));
        QCOMPARE(deep.read("a.xls"), QByteArray("edited, longer"));
        QVERIFY(shell.delete_if_unchanged(Path(path), PosixFileSystem{}.identity(Path(path))));
        QCOMPARE(deep.read("a.xls"), QByteArray("<missing>"));
    }

    void move_within_and_across_file_systems()
    {
        TestTree t;
        DeepFolders deep(real_root(t));
        QVERIFY(deep.isValid());
        QVERIFY(deep.write("a.xls", "moving"));
        struct stat st
        {};
        QVERIFY(deep.stat("a.xls", st));
        const QByteArray longA = deep.path() + "a.xls";
        ScriptedMessageBoxes boxes;
        PosixShell shell(boxes, nullptr);

        // Same file system: a rename, the same inode at the new place.
        QVERIFY(shell.transfer(Path::from_bytes(longA), Path(t.path("out.xls")), FO_MOVE));
        QCOMPARE(deep.read("a.xls"), QByteArray("<missing>"));
        QCOMPARE(read_short(t.path("out.xls")), QByteArray("moving"));
        QCOMPARE(PosixFileSystem{}.identity(Path(t.path("out.xls"))).ino, quint64(st.st_ino));
        QVERIFY(shell.transfer(Path(t.path("out.xls")), Path::from_bytes(longA), FO_MOVE));
        QCOMPARE(deep.read("a.xls"), QByteArray("moving"));
        QVERIFY(!QFile::exists(t.path("out.xls")));

        // Across file systems (every rename refused as such): copy, then the source goes.
        shell.set_rename([](int, const char*, int, const char*) {
            errno = EXDEV;
            return -1;
        });
        QVERIFY(shell.transfer(Path::from_bytes(longA), Path(t.path("out.xls")), FO_MOVE));
        QCOMPARE(deep.read("a.xls"), QByteArray("<missing>"));
        QCOMPARE(read_short(t.path("out.xls")), QByteArray("moving"));
        QVERIFY(shell.transfer(Path(t.path("out.xls")), Path::from_bytes(longA), FO_MOVE));
        QCOMPARE(deep.read("a.xls"), QByteArray("moving"));
        QVERIFY(!QFile::exists(t.path("out.xls")));
        QCOMPARE(deep.names(), QList<QByteArray>{"a.xls"});

        // A link in the deep folder crosses as the link, never as its target.
        QVERIFY(t.createFile("target.xls", "target"));
        const QByteArray target = QFile::encodeName(t.path("target.xls"));
        QVERIFY(::symlink(target.constData(), QFile::encodeName(t.path("l.xls")).constData()) == 0);
        QVERIFY(shell.transfer(Path(t.path("l.xls")), Path::from_bytes(deep.path() + "l.xls"),
                               FO_MOVE));
        QVERIFY(deep.stat("l.xls", st));
        QVERIFY(S_ISLNK(st.st_mode));
        QVERIFY(shell.transfer(Path::from_bytes(deep.path() + "l.xls"), Path(t.path("l2.xls")),
                               FO_MOVE));
        QCOMPARE(QFile::symLinkTarget(t.path("l2.xls")), t.path("target.xls"));
        QCOMPARE(read_short(t.path("target.xls")), QByteArray("target"));
    }

    void trash_and_restore_keep_the_exact_bytes()
    {
        TestTree t;
        const QByteArray root = real_root(t);
        DeepFolders deep(root);
        QVERIFY(deep.isValid());
        const QByteArray name = "caf\xe9 1.xls";
        QVERIFY(deep.write(name, "to the trash"));
        const QByteArray longPath = deep.path() + name;
        ScriptedMessageBoxes boxes;
        boxes.answers = {MsgAnswer::Yes};
        PosixShell shell(boxes, nullptr);
        QList<TrashedFile> trashed;
        QCOMPARE(shell.remove({Path::from_bytes(longPath)}, false, &trashed), 0);
        QCOMPARE(trashed.size(), 1);
        QCOMPARE(deep.read(name), QByteArray("<missing>"));
        const QByteArray files = to_native(m_home.path()) + "/share/Trash/files/";
        QCOMPARE(trashed.front().file.bytes(), files + name);
        const QByteArray info =
            to_native(m_home.path()) + "/share/Trash/info/" + name + ".trashinfo";
        QCOMPARE(trashed.front().info.bytes(), info);
        const QList<QByteArray> lines = read_raw(info).split('\n');
        QCOMPARE(lines.value(0), QByteArray("[Trash Info]"));
        // Every byte of the folders is plain; only the name needs escapes.
        QCOMPARE(lines.value(1), "Path=" + deep.path() + "caf%E9%201.xls");
        QVERIFY(lines.value(1).size() > PATH_MAX);
        QVERIFY(shell.restore(trashed.front()));
        QCOMPARE(deep.read(name), QByteArray("to the trash"));
        QCOMPARE(read_raw(info), QByteArray("<missing>"));

        // Permanent removal reaches it as well.
        boxes.answers = {MsgAnswer::Yes};
        QCOMPARE(shell.remove({Path::from_bytes(longPath)}, true, nullptr), 0);
        QCOMPARE(deep.read(name), QByteArray("<missing>"));
    }
};

QTEST_GUILESS_MAIN(TestLongPaths)
#include "tst_long_paths.moc"
