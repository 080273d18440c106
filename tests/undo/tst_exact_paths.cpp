// SPDX-License-Identifier: GPL-3.0-or-later
// Copy, move, trash, compression and undo reach the exact file the scan found, whatever
// bytes its name holds, and never the file whose name merely reads the same.
#include "base/native_path.h"
#include "command_harness.h"
#include "deep_folders.h"
#include "fileops/shell_helpers.h"
#include "temporary_home.h"

#include <QProcess>
#include <QStandardPaths>

using namespace pelmora;
using namespace pelmora::test;
using native_path::from_native;
using native_path::to_native;

namespace {

// Names as they come from old Japanese machines and careless hands.
const QList<QByteArray> kNames{
    "caf\xe9.xls",          // a Latin-1 byte, not UTF-8
    "\x8c\x8e\x95\xf1.xls", // Shift_JIS
    "new\nline.xls",        "tab\there.xls", "q\"uote.xls", "a,b c.xls", "100%41.xls",
};
// Reads like the first name once its stray byte is shown as U+FFFD.
const QByteArray kDecoy = "caf\xef\xbf\xbd.xls";
const QByteArray kRawFolder = "d\xe9p";

// Keeps the list file the compression hands over; the archiver's reading of it is tested
// with the archiver.
class ListCapture final : public Archiver
{
public:
    int run_into(const QByteArray& line, int, int, QByteArray&) override
    {
        const qsizetype at = line.indexOf(" @");
        const qsizetype end = line.indexOf(' ', at + 2);
        QFile f(QString::fromUtf8(line.mid(at + 2, end - at - 2)));
        if (at < 0 || !f.open(QIODevice::ReadOnly))
            return 1;
        list = f.readAll();
        return 0;
    }
    bool verify(int) override { return true; }
    QByteArray list;
};

struct Tree
{
    Harness h;
    QByteArray root;
    QByteArray src;

    Tree()
    {
        root = to_native(h.tree.root());
        src = root + kRawFolder;
        ::mkdir(src.constData(), 0755);
        ::mkdir((root + "dst").constData(), 0755);
        for (const QByteArray& n : kNames)
            write_raw(src + '/' + n, "content of " + n);
        write_raw(src + '/' + kDecoy, "the decoy");
        h.window.single = false;
        for (const QByteArray& n : kNames)
            h.session.sel_marks.append(Path(from_native(src + '/' + n)));
        h.session.sel_marks.removeAll(Path());
    }
    void run(TransferKind kind)
    {
        CommandEnv e = h.env();
        run_copy_or_move(e, kind, [this] {
            h.session.dlg_cancel = 0;
            h.session.dest_dir = Path(from_native(root + "dst/"));
        });
    }
    bool decoy_untouched() const { return read_raw(src + '/' + kDecoy) == "the decoy"; }
};

} // namespace

class TestExactPaths : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        use_temporary_home(m_home);
    }

    void copy_and_its_undo()
    {
        Tree t;
        t.run(TransferKind::Copy);
        QCOMPARE(t.h.shown(), QStringList{QStringLiteral("ファイルは正常にコピーされました")});
        for (const QByteArray& n : kNames) {
            QCOMPARE(read_raw(t.root + "dst/" + n), "content of " + n);
            QCOMPARE(read_raw(t.src + '/' + n), "content of " + n);
        }
        QCOMPARE(read_raw(t.root + "dst/" + kDecoy), QByteArray("<missing>"));
        // Rows show what the user can read: the stray byte as a replacement character.
        QVERIFY(t.h.rows().front().startsWith(native_path::readable(from_native(t.src))));
        t.h.forget_output();
        t.h.undo();
        QCOMPARE(t.h.shown().back(), QStringLiteral("1つ前の操作を取り消しました"));
        for (const QByteArray& n : kNames)
            QCOMPARE(read_raw(t.root + "dst/" + n), QByteArray("<missing>"));
        QVERIFY(t.decoy_untouched());
    }

    void move_and_its_undo()
    {
        Tree t;
        t.run(TransferKind::Move);
        QCOMPARE(t.h.shown(), QStringList{QStringLiteral("ファイルは正常に移動されました")});
        for (const QByteArray& n : kNames) {
            QCOMPARE(read_raw(t.root + "dst/" + n), "content of " + n);
            QCOMPARE(read_raw(t.src + '/' + n), QByteArray("<missing>"));
        }
        QVERIFY(t.decoy_untouched());
        t.h.forget_output();
        t.h.undo();
        QCOMPARE(t.h.shown().back(), QStringLiteral("1つ前の操作を取り消しました"));
        for (const QByteArray& n : kNames)
            QCOMPARE(read_raw(t.src + '/' + n), "content of " + n);
        QVERIFY(t.decoy_untouched());
    }

    // A file deeper than PATH_MAX: copied out and undone, moved out and undone (back into the
    // deep folder), copied into the deep folder and undone.
    void paths_longer_than_path_max_and_their_undo()
    {
        Harness h;
        DeepFolders deep(to_native(h.tree.root()));
        QVERIFY(deep.isValid());
        QVERIFY(deep.path().size() > 6000);
        const QByteArray name = "caf\xe9.xls";
        QVERIFY(deep.write(name, "deep"));
        QVERIFY(::mkdir(to_native(h.p(QStringLiteral("dst"))).constData(), 0755) == 0);
        const QByteArray out = to_native(h.p(QStringLiteral("dst/"))) + name;
        QVERIFY(path_exists(&h.files, Path::from_bytes(deep.path())));
        QVERIFY(path_exists(&h.files, Path::from_bytes(deep.path() + name)));
        QVERIFY(!path_exists(&h.files, Path::from_bytes(deep.path() + "none.xls")));

        h.session.sel_marks = paths({from_native(deep.path() + name)});
        h.transfer(TransferKind::Copy, QStringLiteral("dst/"));
        QCOMPARE(h.shown(), QStringList{QStringLiteral("ファイルは正常にコピーされました")});
        QCOMPARE(read_raw(out), QByteArray("deep"));
        h.forget_output();
        h.undo();
        QCOMPARE(h.shown().back(), QStringLiteral("1つ前の操作を取り消しました"));
        QCOMPARE(read_raw(out), QByteArray("<missing>"));
        QCOMPARE(deep.read(name), QByteArray("deep"));

        h.forget_output();
        h.session.sel_marks = paths({from_native(deep.path() + name)});
        h.transfer(TransferKind::Move, QStringLiteral("dst/"));
        QCOMPARE(h.shown(), QStringList{QStringLiteral("ファイルは正常に移動されました")});
        QCOMPARE(read_raw(out), QByteArray("deep"));
        QCOMPARE(deep.read(name), QByteArray("<missing>"));
        h.forget_output();
        h.undo();
        QCOMPARE(h.shown().back(), QStringLiteral("1つ前の操作を取り消しました"));
        QCOMPARE(deep.read(name), QByteArray("deep"));
        QCOMPARE(read_raw(out), QByteArray("<missing>"));

        // Into the deep folder: the copy lands there, and the undo takes only it away.
        h.forget_output();
        QVERIFY(write_raw(to_native(h.p(QStringLiteral("dst/in.xls"))), "short"));
        h.session.sel_marks = paths({h.p(QStringLiteral("dst/in.xls"))});
        h.window.single = false;
        CommandEnv e = h.env();
        run_copy_or_move(e, TransferKind::Copy, [&] {
            h.session.dlg_cancel = 0;
            h.session.dest_dir = Path(from_native(deep.path()));
        });
        QCOMPARE(h.shown(), QStringList{QStringLiteral("ファイルは正常にコピーされました")});
        QCOMPARE(deep.read("in.xls"), QByteArray("short"));
        h.forget_output();
        h.undo();
        QCOMPARE(h.shown().back(), QStringLiteral("1つ前の操作を取り消しました"));
        QCOMPARE(deep.read("in.xls"), QByteArray("<missing>"));
        QCOMPARE(deep.read(name), QByteArray("deep"));
        QCOMPARE(read_raw(to_native(h.p(QStringLiteral("dst/in.xls")))), QByteArray("short"));
    }

    // A Shift_JIS name (資料.xls) replaced by a copy or a move: the old file goes to the trash
    // under its own bytes and comes back from there on undo.
    void replace_and_its_undo_data()
    {
        QTest::addColumn<TransferKind>("kind");
        QTest::newRow("copy") << TransferKind::Copy;
        QTest::newRow("move") << TransferKind::Move;
    }
    void replace_and_its_undo()
    {
        QFETCH(TransferKind, kind);
        Harness h;
        const QByteArray root = to_native(h.tree.root());
        const QByteArray name = "\x8e\x91\x97\xbf.xls";
        QVERIFY(::mkdir((root + "src").constData(), 0755) == 0);
        QVERIFY(::mkdir((root + "dst").constData(), 0755) == 0);
        QVERIFY(write_raw(root + "src/" + name, "new"));
        QVERIFY(write_raw(root + "dst/" + name, "old"));
        h.session.sel_marks = PathList{Path::from_bytes(root + "src/" + name)};
        h.messages.answers = {MsgAnswer::Yes};
        h.transfer(kind, QStringLiteral("dst/"));
        QVERIFY(h.shown().front().contains(QString::fromUtf8("資料.xls")));
        QCOMPARE(read_raw(root + "dst/" + name), QByteArray("new"));
        const QByteArray trashed = to_native(m_home.path()) + "/share/Trash/files/" + name;
        QCOMPARE(read_raw(trashed), QByteArray("old"));
        h.forget_output();
        h.undo();
        QCOMPARE(h.shown().back(), QStringLiteral("1つ前の操作を取り消しました"));
        QCOMPARE(read_raw(root + "dst/" + name), QByteArray("old"));
        QCOMPARE(read_raw(root + "src/" + name), QByteArray("new"));
        QCOMPARE(read_raw(trashed), QByteArray("<missing>"));
    }

    void trash()
    {
        Tree t;
        t.h.messages.answers = {MsgAnswer::Yes};
        CommandEnv e = t.h.env();
        run_trash(e);
        QCOMPARE(t.h.shown().back(), QStringLiteral("選択されたファイルをごみ箱へ移動しました"));
        const QByteArray files = to_native(m_home.path()) + "/share/Trash/files/";
        for (const QByteArray& n : kNames) {
            QCOMPARE(read_raw(t.src + '/' + n), QByteArray("<missing>"));
            QCOMPARE(read_raw(files + n), "content of " + n);
            ::unlink((files + n).constData());
        }
        QVERIFY(t.decoy_untouched());
    }

    void compression_list_file_holds_the_exact_bytes()
    {
        Tree t;
        ListCapture capture;
        t.h.archiver = &capture;
        // A name with a line break cannot be listed (the command refuses it); the rest can.
        t.h.session.sel_marks.removeIf([](const Path& m) { return m.bytes().contains('\n'); });
        CommandEnv e = t.h.env();
        run_compress(e, [&] {
            t.h.session.dlg_cancel = 0;
            t.h.session.dest_dir = Path(from_native(t.root + "dst/"));
            t.h.session.archive_name = Path(QStringLiteral("EXACT"));
        });
        QByteArray want;
        for (const QByteArray& n : kNames) {
            const QByteArray path = t.src + '/' + n;
            if (path.contains('\n'))
                continue;
            want += (path.contains(' ') || path.contains(',') ? '"' + path + '"' : path) + "\r\n";
        }
        want += "\r\n";
        QCOMPARE(capture.list, want);
        QVERIFY(t.decoy_untouched());
    }

    // Through the real archiver: names it can store (UTF-8, one per line), then undo.
    void compression_and_its_undo_with_the_archiver()
    {
        Tree t;
        t.h.session.sel_marks.clear();
        const QByteArray odd = t.root + "odd, folder";
        QVERIFY(::mkdir(odd.constData(), 0755) == 0);
        for (const QByteArray& n : {QByteArray("tab\there.xls"), QByteArray("q\"uote.xls"),
                                    QByteArray("a,b c.xls"), QByteArray("100%41.xls")}) {
            QVERIFY(write_raw(odd + '/' + n, "content of " + n));
            t.h.session.sel_marks.append(Path(from_native(odd + '/' + n)));
        }
        t.h.compress(QStringLiteral("dst/"), QStringLiteral("ODD"));
        QCOMPARE(t.h.shown(), QStringList{QStringLiteral("選択XLSファイルを圧縮しました")});
        const QByteArray archive = t.root + "dst/ODD.LZH";
        QVERIFY(read_raw(archive) != "<missing>");
        if (!QStandardPaths::findExecutable(QStringLiteral("lhasa")).isEmpty()) {
            QProcess lhasa;
            lhasa.start(QStringLiteral("lhasa"), {QStringLiteral("t"), from_native(archive)});
            QVERIFY(lhasa.waitForFinished(60000));
            QCOMPARE(lhasa.exitCode(), 0); // every member's check sum holds
        }
        for (const QByteArray& n : kNames)
            QCOMPARE(read_raw(t.src + '/' + n), "content of " + n); // sources untouched
        t.h.forget_output();
        t.h.undo();
        QCOMPARE(t.h.shown().back(), QStringLiteral("1つ前の操作を取り消しました"));
        QCOMPARE(read_raw(archive), QByteArray("<missing>"));
        QVERIFY(t.decoy_untouched());
    }
};

QTEST_GUILESS_MAIN(TestExactPaths)
#include "tst_exact_paths.moc"
