// SPDX-License-Identifier: GPL-3.0-or-later
// The walker's matching and traversal rules, on a fake tree and on the real file system.
#include "backends/posix/posix_folder_enumerator.h"
#include "base/native_path.h"
#include "catalogue/folder_read_ahead.h"
#include "catalogue/folder_walker.h"
#include "fakes.h"
#include "test_tree.h"

#include <QtTest>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
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
    void add_hit(std::string_view name, const std::string& folder) override
    {
        hits.append(native_path::from_native(folder + std::string(name)));
        bytes.push_back(folder + std::string(name));
    }
    QStringList hits;
    std::vector<std::string> bytes; // the exact paths
    QStringList started;
    int ended = 0;
};

QStringList walk_fake(const FakeTree& tree, const std::string& root, const QString& filter,
                      int readers = 0)
{
    FakeEnumeratorFactory f(tree);
    auto e = f.for_root(root);
    RecordingSink sink;
    FolderWalker(*e, filter, sink, nullptr, readers).walk_folder(root);
    return sink.hits;
}

QStringList walk_real(const QString& root, const QString& filter = QStringLiteral("XLS"),
                      int readers = 0)
{
    PosixFolderEnumerator e(root.toStdString());
    RecordingSink sink;
    FolderWalker(e, filter, sink, nullptr, readers).walk_folder(root.toStdString());
    return sink.hits;
}

// Reads through another enumerator, each read taking `delay` as on a disk, and counts how many
// reads were under way at once.
class SlowEnumerator final : public FolderEnumerator
{
public:
    SlowEnumerator(FolderEnumerator& inner, std::chrono::microseconds delay, int bound = 0)
        : m_inner(inner), m_delay(delay), m_bound(bound)
    {}
    int reader_bound() const override { return m_bound; }
    ListResult list_folder(const std::string& path, std::vector<FolderEntry>& out) override
    {
        const int now = ++m_inFlight;
        for (int seen = most_at_once.load(); now > seen;)
            most_at_once.compare_exchange_weak(seen, now);
        std::this_thread::sleep_for(m_delay);
        const ListResult r = m_inner.list_folder(path, out);
        --m_inFlight;
        return r;
    }
    std::atomic<int> most_at_once{0};

private:
    FolderEnumerator& m_inner;
    std::chrono::microseconds m_delay;
    int m_bound;
    std::atomic<int> m_inFlight{0};
};

// Both the walk that reads one folder at a time and the one with readers ahead of it.
const int kReaderCounts[] = {0, 1, 8};

class Fd final
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Removes a folder and everything in it, opening each level relative to its parent.
bool remove_tree_at(int parentFd, const std::string& name)
{
    {
        const Fd fd(openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
        if (fd.get() < 0)
            return false;
        std::vector<FolderEntry> entries;
        DIR* d = fdopendir(dup(fd.get()));
        if (!d)
            return false;
        while (const dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            if (n == "." || n == "..")
                continue;
            if (e->d_type == DT_DIR ? !remove_tree_at(fd.get(), n)
                                    : unlinkat(fd.get(), n.c_str(), 0) != 0) {
                closedir(d);
                return false;
            }
        }
        closedir(d);
    }
    return unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) == 0;
}

bool write_at(int dirFd, const std::string& name)
{
    const int fd = openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    close(fd);
    return true;
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
        for (const int readers : kReaderCounts) {
            QCOMPARE(walk_fake(t, "/r/", QStringLiteral("XLS"), readers),
                     (QStringList{"/r/z.xls", "/r/sub/in.xls", "/r/sub/deep/d.XLS", "/r/a.xls",
                                  "/r/sub2/last.xls"}));
        }
    }

    void reading_ahead_keeps_the_walk_order_and_the_folder_labels()
    {
        // A wide and deep tree: many folders are read ahead while the walk is elsewhere, and
        // a read from memory covers only part of it.
        FakeTree t;
        QStringList expected, expectedStarted; // depth first, in entry order
        std::function<void(const std::string&, int)> grow = [&](const std::string& f, int depth) {
            expectedStarted.append(QString::fromStdString(f));
            std::vector<FolderEntry> entries;
            for (int i = 0; i < 6; ++i) {
                entries.push_back(file("f" + std::to_string(i) + ".xls"));
                if (depth < 4)
                    entries.push_back(dir("d" + std::to_string(5 - i)));
            }
            t.add_folder(f, entries);
            for (int i = 0; i < 6; ++i) {
                expected.append(QString::fromStdString(f + "f" + std::to_string(i) + ".xls"));
                if (depth < 4)
                    grow(f + "d" + std::to_string(5 - i) + "/", depth + 1);
            }
        };
        grow("/r/", 0);
        auto run = [&t](int readers, QStringList& started) {
            FakeEnumeratorFactory f(t);
            auto e = f.for_root("/r/");
            RecordingSink sink;
            FolderWalker(*e, QStringLiteral("XLS"), sink, nullptr, readers).walk_folder("/r/");
            started = sink.started;
            return sink.hits;
        };
        QStringList startedAlone;
        const QStringList alone = run(0, startedAlone);
        QCOMPARE(alone, expected);
        QCOMPARE(startedAlone, expectedStarted);
        for (const int readers : {1, 3, 8}) {
            QStringList started;
            QCOMPARE(run(readers, started), alone);
            QCOMPARE(started, startedAlone);
        }
    }

    void the_pool_grows_while_reads_wait_and_stays_one_per_core_in_memory()
    {
        FakeTree t;
        std::vector<FolderEntry> top;
        for (int i = 0; i < 64; ++i) {
            const std::string d = "/r/d" + std::to_string(i) + "/";
            top.push_back(dir("d" + std::to_string(i)));
            std::vector<FolderEntry> inner{file("a" + std::to_string(i) + ".xls")};
            for (int j = 0; j < 6; ++j) {
                inner.push_back(dir("s" + std::to_string(j)));
                t.add_folder(d + "s" + std::to_string(j) + "/", {file("b.xls"), file("c.doc")});
            }
            t.add_folder(d, inner);
        }
        t.add_folder("/r/", top);
        const QStringList alone = walk_fake(t, "/r/", QStringLiteral("XLS"));
        QCOMPARE(alone.size(), 64 * 7);

        const int perCore = FolderReadAhead::readers_for_memory();
        // Reads that sleep (a slow disk, a far share) bring in readers beyond a fixed pool of
        // 32, towards the bound, or towards the file system's own bound (a local disk); reads
        // from memory never add a reader.
        const struct
        {
            std::chrono::microseconds delay;
            int fsBound;
            int atLeast;
            int atMost;
        } cases[] = {{std::chrono::milliseconds(5), 0, 33, 256},
                     {std::chrono::milliseconds(5), 12, perCore + 1, 12},
                     {{}, 0, perCore, perCore}};
        for (const auto& c : cases) {
            FakeEnumeratorFactory f(t);
            auto fake = f.for_root("/r/");
            SlowEnumerator slow(*fake, c.delay, c.fsBound);
            RecordingSink sink;
            FolderWalker walker(slow, QStringLiteral("XLS"), sink, nullptr, 256);
            walker.walk_folder("/r/");
            QCOMPARE(sink.hits, alone);
            const QString seen = QStringLiteral("%1 readers, %2 reads at once")
                                     .arg(walker.most_readers())
                                     .arg(slow.most_at_once.load());
            QVERIFY2(walker.most_readers() >= c.atLeast && walker.most_readers() <= c.atMost,
                     qPrintable(seen));
            if (c.delay.count() > 0 && c.fsBound == 0)
                QVERIFY2(slow.most_at_once.load() > 32, qPrintable(seen));
        }
    }

    void local_disks_bound_the_readers_and_shares_do_not()
    {
        const struct
        {
            long type;
            int bound;
        } cases[] = {{0xEF53, kLocalReaders},
                     {0x01021994, kLocalReaders}, // ext4, tmpfs
                     {0x6969, 0},
                     {long(0xFF534D42), 0}, // NFS, CIFS
                     {long(0xFE534D42), 0},
                     {0x65735546, 0}}; // SMB2, FUSE
        for (const auto& c : cases)
            QCOMPARE(reader_bound_for(c.type), c.bound);
        // This machine's temporary folder is a local file system.
        QCOMPARE(PosixFolderEnumerator(QDir::tempPath().toStdString() + "/").reader_bound(),
                 kLocalReaders);
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
        for (const int readers : kReaderCounts) {
            std::atomic<bool> cancel{true};
            FakeEnumeratorFactory f(t);
            auto e = f.for_root("/r/");
            RecordingSink sink;
            FolderWalker(*e, QStringLiteral("XLS"), sink, &cancel, readers).walk_folder("/r/");
            QVERIFY(sink.hits.isEmpty());
            QCOMPARE(f.folders_listed.load(), 0);
        }
    }

    void cancel_during_a_walk_with_readers_stops_it()
    {
        FakeTree t;
        std::vector<FolderEntry> top;
        for (int i = 0; i < 50; ++i) {
            top.push_back(dir("d" + std::to_string(i)));
            t.add_folder("/r/d" + std::to_string(i) + "/", {file("x.xls")});
        }
        t.add_folder("/r/", top);
        FakeEnumeratorFactory f(t);
        f.hold_at("/r/d10/");
        auto e = f.for_root("/r/");
        std::atomic<bool> cancel{false};
        RecordingSink sink;
        std::thread walk(
            [&] { FolderWalker(*e, QStringLiteral("XLS"), sink, &cancel, 4).walk_folder("/r/"); });
        QVERIFY(f.wait_until_held());
        cancel = true;
        f.release();
        walk.join(); // returns: nothing waits for the remaining folders
        QVERIFY(sink.hits.size() <= 11);
        QVERIFY(!sink.hits.contains(QStringLiteral("/r/d49/x.xls")));
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
        for (const int readers : kReaderCounts) {
            QStringList got =
                relative(walk_real(tree.root(), QStringLiteral("XLS"), readers), tree.root());
            got.sort();
            QCOMPARE(got, (QStringList{"A2.XLS", "a.xls", "old.xls/in.xls", "with space/x y.Xls",
                                       "日本語/報告書.xls"}));
            QStringList docs =
                relative(walk_real(tree.root(), QStringLiteral("DOC"), readers), tree.root());
            QCOMPARE(docs, QStringList{"memo.doc"});
        }
    }

    void names_that_are_not_utf8_keep_their_bytes()
    {
        // Shift_JIS bytes, a Latin-1 byte, and a decoy whose name is the lossy reading of one.
        TestTree tree;
        QVERIFY(tree.isValid());
        const std::string root = tree.root().toStdString();
        const std::string sjisFolder = root + "\x95\xf1\x8d\x90"; // 報告 in Shift_JIS
        QCOMPARE(mkdir(sjisFolder.c_str(), 0755), 0);
        const Fd dir(open(sjisFolder.c_str(), O_RDONLY | O_DIRECTORY));
        QVERIFY(write_at(dir.get(), "caf\xe9.xls"));
        QVERIFY(write_at(dir.get(), "caf\xef\xbf\xbd.xls")); // "caf\uFFFD.xls" in UTF-8
        const Fd top(open(root.c_str(), O_RDONLY | O_DIRECTORY));
        QVERIFY(write_at(top.get(), "\x8e\x8e\x8c\xb1.XLS")); // 試験 in Shift_JIS
        const std::set<std::string> expected{sjisFolder + "/caf\xe9.xls",
                                             sjisFolder + "/caf\xef\xbf\xbd.xls",
                                             root + "\x8e\x8e\x8c\xb1.XLS"};
        for (const int readers : kReaderCounts) {
            PosixFolderEnumerator e(root);
            RecordingSink sink;
            FolderWalker(e, QStringLiteral("XLS"), sink, nullptr, readers).walk_folder(root);
            QCOMPARE(std::set<std::string>(sink.bytes.begin(), sink.bytes.end()), expected);
            QCOMPARE(sink.bytes.size(), std::size_t(3));
            // The texts keep the bytes, so the two look-alike names stay two paths.
            QCOMPARE(sink.hits.size(), 3);
            QCOMPARE(QSet<QString>(sink.hits.begin(), sink.hits.end()).size(), 3);
            for (const QString& h : sink.hits)
                QVERIFY(expected.count(native_path::to_native(h).toStdString()));
        }
        // Qt's own removal of the temporary folder cannot name these files.
        QVERIFY(remove_tree_at(top.get(), "\x95\xf1\x8d\x90"));
        QCOMPARE(unlinkat(top.get(), "\x8e\x8e\x8c\xb1.XLS", 0), 0);
    }

    void depth_and_path_length_are_unlimited()
    {
        // 300 nested folders: a path of 6,000 bytes, longer than PATH_MAX, and deeper than
        // the levels that keep a descriptor of their own.
        TestTree tree;
        QVERIFY(tree.isValid());
        const std::string root = tree.root().toStdString();
        std::string path = root;
        int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
        QVERIFY(fd >= 0);
        for (int level = 0; level < 300; ++level) {
            char name[32];
            std::snprintf(name, sizeof name, "level%03d_abcdefghijkl", level); // 20 bytes
            QCOMPARE(mkdirat(fd, name, 0755), 0);
            const int next = openat(fd, name, O_RDONLY | O_DIRECTORY);
            close(fd);
            fd = next;
            QVERIFY(fd >= 0);
            path += std::string(name) + "/";
            if (level == 150)
                QVERIFY(write_at(fd, "middle.xls"));
        }
        QVERIFY(write_at(fd, "deepest.xls"));
        close(fd);
        const std::string deepest = path + "deepest.xls";
        QVERIFY(deepest.size() > 6000);
        for (const int readers : kReaderCounts) {
            PosixFolderEnumerator e(root);
            RecordingSink sink;
            FolderWalker(e, QStringLiteral("XLS"), sink, nullptr, readers).walk_folder(root);
            QCOMPARE(sink.bytes.size(), std::size_t(2));
            QVERIFY(sink.bytes[0].ends_with("/middle.xls"));
            QCOMPARE(sink.bytes[1], deepest);
        }
        // Removing by whole paths stops at PATH_MAX: take the chain down relative to its parent.
        const Fd top(open(root.c_str(), O_RDONLY | O_DIRECTORY));
        QVERIFY(remove_tree_at(top.get(), "level000_abcdefghijkl"));
    }

    void a_filtered_read_keeps_what_the_filter_wants_in_the_file_systems_order()
    {
        TestTree tree;
        QVERIFY(tree.isValid());
        for (int i = 0; i < 40; ++i) {
            QVERIFY(tree.createFile(QStringLiteral("f%1.xls").arg(i)));
            QVERIFY(tree.createFile(QStringLiteral("f%1.pdf").arg(i)));
        }
        QVERIFY(tree.createDir(QStringLiteral("sub")));
        QVERIFY(tree.createDir(QStringLiteral("only-others")));
        QVERIFY(tree.createFile(QStringLiteral("only-others/a.pdf")));
        struct XlsAndFolders final : EntryFilter
        {
            bool keep(std::string_view name, std::uint32_t attributes) const override
            {
                return (attributes & attr::Directory) || name.ends_with(".xls");
            }
        } filter;
        const std::string root = tree.root().toStdString();
        PosixFolderEnumerator e(root);
        std::vector<FolderEntry> all;
        std::vector<FolderEntry> kept;
        QCOMPARE(e.read_folder(nullptr, {}, root, all, nullptr), ListResult::Ok);
        QCOMPARE(e.read_folder(nullptr, {}, root, kept, nullptr, &filter), ListResult::Ok);
        std::vector<std::string> expected;
        for (const FolderEntry& entry : all) {
            if (filter.keep(entry.name, entry.attributes))
                expected.push_back(entry.name);
        }
        std::vector<std::string> names;
        names.reserve(kept.size());
        for (const FolderEntry& entry : kept)
            names.push_back(entry.name);
        QCOMPARE(names.size(), std::size_t(42));
        QVERIFY(names == expected);
        // A folder whose every entry is filtered out was still read.
        QCOMPARE(e.read_folder(nullptr, {}, root + "only-others/", kept, nullptr, &filter),
                 ListResult::Ok);
        QVERIFY(kept.empty());
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
