// The walker's matching and traversal rules, on a fake tree and on the real file system.
#include "catalogue/folder_walker.h"
#include "fakes.h"
#include "platform/posix_folder_enumerator.h"
#include "test_tree.h"

#include <QtTest>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

struct RecordingSink final : WalkSink
{
    void folder_started(const std::string& f) override
    {
        started.append(QString::fromStdString(f));
    }
    void folder_ended() override { ++ended; }
    void add_hit(const QString& name, const QString& folder) override
    {
        hits.append(folder + name);
    }
    QStringList hits;
    QStringList started;
    int ended = 0;
};

QStringList walk_fake(const FakeTree& tree, const std::string& root, const QString& filter)
{
    FakeEnumeratorFactory f(tree);
    auto e = f.for_root(root);
    RecordingSink sink;
    FolderWalker(*e, filter, sink).walk_folder(root);
    return sink.hits;
}

QStringList walk_real(const QString& root, const QString& filter = QStringLiteral("XLS"))
{
    PosixFolderEnumerator e(root.toStdString());
    RecordingSink sink;
    FolderWalker(e, filter, sink).walk_folder(root.toStdString());
    return sink.hits;
}

QStringList relative(const QStringList& hits, const QString& root)
{
    QStringList out;
    for (const QString& h : hits)
        out.append(h.mid(root.size()));
    return out;
}

} // namespace

class TestFolderWalker : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void suffix_is_everything_after_the_first_dot()
    {
        QCOMPARE(file_suffix(std::string_view("a.b.xls")), std::string_view("b.xls"));
        QCOMPARE(file_suffix(std::string_view(".xls")), std::string_view());
        QCOMPARE(file_suffix(std::string_view("noext")), std::string_view());
        QCOMPARE(file_suffix(QStringLiteral("a.xls")), QStringLiteral("xls"));
        QCOMPARE(file_suffix(QStringLiteral(".xls")), QString());
        QCOMPARE(trim_at_nul(QStringLiteral("ab\0cd")), QStringLiteral("ab"));
        QCOMPARE(trim_at_nul(QString(QChar(u'\0'))), QString());
        QCOMPARE(with_backslash(std::string()), std::string("/"));
        QCOMPARE(with_backslash(std::string("/a/")), std::string("/a/"));
        QCOMPARE(with_backslash(QStringLiteral("/a")), QStringLiteral("/a/"));
    }

    void matching_ignores_case_and_needs_the_whole_suffix()
    {
        const SuffixMatcher m(QStringLiteral("XLS"));
        QVERIFY(m.matches("a.xls"));
        QVERIFY(m.matches("A.XLS"));
        QVERIFY(m.matches("Report.Xls"));
        QVERIFY(!m.matches("a.b.xls"));
        QVERIFY(!m.matches(".xls"));
        QVERIFY(!m.matches("a.xlsx"));
        QVERIFY(!m.matches("xls"));
        QVERIFY(!m.matches("a.doc"));
        QVERIFY(SuffixMatcher(QStringLiteral("DOC")).matches("memo.doc"));
        // "ſ" (long s) upper-cases to "S": the comparison is on upper-cased text.
        QVERIFY(m.matches("a.xl\xc5\xbf"));
        QVERIFY(!m.matches("\xe5\xa0\xb1\xe5\x91\x8a.xl\xc3\xa9"));
        QVERIFY(m.matches("\xe5\xa0\xb1\xe5\x91\x8a.xls")); // 報告.xls
    }

    void folder_test_clears_the_four_low_bits()
    {
        QVERIFY(counts_as_folder(attr::Directory));
        QVERIFY(counts_as_folder(attr::Directory | attr::ReadOnly | attr::Hidden | 0x04));
        QVERIFY(!counts_as_folder(attr::Directory | 0x20)); // archive bit
        QVERIFY(!counts_as_folder(attr::Directory | attr::Link));
        QVERIFY(!counts_as_folder(0));
    }

    void hits_come_depth_first_in_entry_order()
    {
        FakeTree t;
        t.add_folder("/r/", {file("z.xls"), dir("sub"), file("a.xls"), dir("sub2")});
        t.add_folder("/r/sub/", {file("in.xls"), dir("deep")});
        t.add_folder("/r/sub/deep/", {file("d.XLS")});
        t.add_folder("/r/sub2/", {file("last.xls")});
        QCOMPARE(walk_fake(t, "/r/", QStringLiteral("XLS")),
                 (QStringList{"/r/z.xls", "/r/sub/in.xls", "/r/sub/deep/d.XLS", "/r/a.xls",
                              "/r/sub2/last.xls"}));
    }

    void dot_folders_are_not_entered_and_folder_named_like_a_document_is_walked()
    {
        FakeTree t;
        t.add_folder("/r/", {dir(".svn"), dir("old.xls"), dir("arch.xls", 0x20), file(".xls"),
                             file("a.b.xls"), dir("ro", attr::ReadOnly | attr::Hidden)});
        t.add_folder("/r/.svn/", {file("hidden.xls")});
        t.add_folder("/r/old.xls/", {file("inside.xls")});
        t.add_folder("/r/arch.xls/", {file("never.xls")});
        t.add_folder("/r/ro/", {file("ro.xls")});
        QCOMPARE(walk_fake(t, "/r/", QStringLiteral("XLS")),
                 (QStringList{"/r/old.xls/inside.xls", "/r/arch.xls", "/r/ro/ro.xls"}));
    }

    void unreadable_folders_are_skipped_silently()
    {
        FakeTree t;
        t.add_folder("/r/", {dir("locked"), file("b.xls")});
        // "/r/locked/" is missing from the tree: the enumerator reports it unreadable.
        RecordingSink sink;
        FakeEnumeratorFactory f(t);
        auto e = f.for_root("/r/");
        FolderWalker(*e, QStringLiteral("XLS"), sink).walk_folder("/r/");
        QCOMPARE(sink.hits, QStringList{"/r/b.xls"});
        QCOMPARE(sink.started, (QStringList{"/r/", "/r/locked/"}));
        QCOMPARE(sink.ended, 2);
    }

    void cancel_stops_the_walk()
    {
        FakeTree t;
        t.add_folder("/r/", {file("a.xls"), dir("s")});
        t.add_folder("/r/s/", {file("b.xls")});
        std::atomic<bool> cancel{true};
        FakeEnumeratorFactory f(t);
        auto e = f.for_root("/r/");
        RecordingSink sink;
        FolderWalker(*e, QStringLiteral("XLS"), sink, &cancel).walk_folder("/r/");
        QVERIFY(sink.hits.isEmpty());
        QCOMPARE(f.folders_listed.load(), 0);
    }

    void real_tree_rules()
    {
        TestTree tree;
        QVERIFY(tree.isValid());
        QVERIFY(tree.createFile("a.xls"));
        QVERIFY(tree.createFile("A2.XLS"));
        QVERIFY(tree.createFile("a.b.xls"));
        QVERIFY(tree.createFile(".xls"));
        QVERIFY(tree.createFile("memo.doc"));
        QVERIFY(tree.createFile(".git/inner.xls"));
        QVERIFY(tree.createFile("old.xls/in.xls"));
        QVERIFY(tree.createFile("日本語/報告書.xls"));
        QVERIFY(tree.createFile("with space/x y.Xls"));
        QStringList got = relative(walk_real(tree.root()), tree.root());
        got.sort();
        QCOMPARE(got, (QStringList{"A2.XLS", "a.xls", "old.xls/in.xls", "with space/x y.Xls",
                                   "日本語/報告書.xls"}));
        QStringList docs = relative(walk_real(tree.root(), QStringLiteral("DOC")), tree.root());
        QCOMPARE(docs, QStringList{"memo.doc"});
    }

    void symbolic_links_are_never_followed()
    {
        TestTree tree;
        QVERIFY(tree.createFile("real/r.xls"));
        // A loop back to the root, and a link to a folder whose name looks like a document.
        QVERIFY(tree.createLink(tree.root(), "real/loop"));
        QVERIFY(tree.createLink(tree.path("real"), "linked.xls"));
        QVERIFY(tree.createLink(tree.path("real/r.xls"), "alias.xls"));
        QStringList got = relative(walk_real(tree.root()), tree.root());
        got.sort();
        // Links are entries of their own (listed by name), never walked into.
        QCOMPARE(got, (QStringList{"alias.xls", "linked.xls", "real/r.xls"}));
    }

    void the_scan_root_may_be_reached_through_a_link()
    {
        TestTree tree;
        QVERIFY(tree.createFile("target/t.xls"));
        QVERIFY(tree.createLink(tree.path("target"), "via"));
        const QString root = tree.path("via/");
        QCOMPARE(relative(walk_real(root), root), QStringList{"t.xls"});
    }

    void unreadable_real_folder_is_skipped()
    {
        TestTree tree;
        QVERIFY(tree.createFile("open/o.xls"));
        QVERIFY(tree.createFile("closed/c.xls"));
        QVERIFY(QFile::setPermissions(tree.root(), QFile::Permissions(0x7755)));
        QVERIFY(QFile::setPermissions(tree.path("open"), QFile::Permissions(0x7755)));
        QVERIFY(QFile::setPermissions(tree.path("open/o.xls"), QFile::Permissions(0x6644)));
        QVERIFY(chmod(tree.path("closed").toLocal8Bit().constData(), 0) == 0);
        const QString expected = QStringLiteral("open/o.xls");
        if (geteuid() != 0) {
            QCOMPARE(relative(walk_real(tree.root()), tree.root()), QStringList{expected});
        } else {
            // Root reads every folder: walk as an ordinary user in a child process.
            const pid_t pid = fork();
            QVERIFY(pid >= 0);
            if (pid == 0) {
                if (setgid(65534) != 0 || setuid(65534) != 0)
                    _exit(3);
                const QStringList hits = relative(walk_real(tree.root()), tree.root());
                _exit(hits == QStringList{expected} ? 0 : 1);
            }
            int status = 0;
            QCOMPARE(waitpid(pid, &status, 0), pid);
            QVERIFY(WIFEXITED(status));
            QCOMPARE(WEXITSTATUS(status), 0);
        }
        chmod(tree.path("closed").toLocal8Bit().constData(), 0755);
    }

    void a_missing_root_yields_nothing()
    {
        QVERIFY(walk_real(QStringLiteral("/nonexistent-pelmora-root/")).isEmpty());
    }

    void mount_points_below_the_root_are_not_entered()
    {
        const std::string info = "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                 "30 22 0:5 / /proc rw - proc proc rw\n"
                                 "41 22 8:17 / /media/my\\040disk rw - vfat /dev/sdb1 rw\n";
        const std::set<std::string> points = mount_points_from_mountinfo(info);
        QCOMPARE(points, (std::set<std::string>{"/", "/proc", "/media/my disk"}));

        TestTree tree;
        QVERIFY(tree.createFile("keep/k.xls"));
        QVERIFY(tree.createFile("mounted/m.xls"));
        const std::string root = tree.root().toStdString();
        PosixFolderEnumerator e(root, {"/", root + "mounted"});
        RecordingSink sink;
        FolderWalker(e, QStringLiteral("XLS"), sink).walk_folder(root);
        QCOMPARE(relative(sink.hits, tree.root()), QStringList{"keep/k.xls"});
    }

    void a_folder_on_another_file_system_is_not_entered()
    {
        // /proc is a file system of its own on every Linux machine.
        PosixFolderEnumerator e("/");
        std::vector<FolderEntry> out;
        QCOMPARE(e.list_folder("/proc/", out), ListResult::OtherFileSystem);
        QVERIFY(out.empty());
        QCOMPARE(e.list_folder("/", out), ListResult::Ok);
        const auto proc = std::find_if(out.begin(), out.end(),
                                       [](const FolderEntry& f) { return f.name == "proc"; });
        QVERIFY(proc != out.end());
        QVERIFY(counts_as_folder(proc->attributes));
    }
};

QTEST_GUILESS_MAIN(TestFolderWalker)
#include "tst_folder_walker.moc"
