// SPDX-License-Identifier: GPL-3.0-or-later
// One system call failing at every point of the real commands: each case runs in a child
// process under fault_shim.c, once to count the calls and then once for every k, with the
// k-th call failing (EIO), or the process killed there. After each run everything the user
// had is still in its place, no partial file stands under a final name, and a command that
// could not finish its work said so; after a kill, the next command into the folder clears
// what the dead one left. A source is unlinked only after the file system it went to was
// synced since the copy got its name there (the shim's log says in which order). Rows that
// swap archives run again where the file system cannot exchange two names in one step.
// Prints how many points were tried and how many held.
#include "backends/posix/freedesktop_trash.h"
#include "backends/posix/posix_archive_files.h"
#include "backends/posix/posix_file_system.h"
#include "backends/posix/posix_shell.h"
#include "backends/posix/stale_files.h"
#include "backends/unlha/unlha_archiver.h"
#include "fakes.h"
#include "fileops/command_env.h"
#include "fileops/compress_command.h"
#include "fileops/copy_move_command.h"
#include "fileops/trash_command.h"
#include "fileops/undo_manager.h"
#include "raw_file.h"
#include "second_file_system.h"
#include "session/history_log.h"
#include "session/session.h"
#include "undo/undo_command.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <algorithm>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pelmora;
using namespace pelmora::test;

namespace {

const QString kCompressed = QStringLiteral("選択XLSファイルを圧縮しました");
const QString kUndone = QStringLiteral("1つ前の操作を取り消しました");
const QString kCopied = QStringLiteral("ファイルは正常にコピーされました");
const QString kMoved = QStringLiteral("ファイルは正常に移動されました");
const QString kTrashed = QStringLiteral("選択されたファイルをごみ箱へ移動しました");

QByteArray pattern(int size, int seed)
{
    QByteArray out(size, '\0');
    for (int i = 0; i < size; ++i)
        out[i] = char("workbook rows "[(i * seed / 7) % 14] ^ (i % 251 == 0 ? seed : 0));
    return out;
}

// The user's files in every case (a.xls is edited after the first compression).
const QByteArray kA = pattern(3000, 3);
const QByteArray kA2 = pattern(5000, 5);
const QByteArray kB = pattern(70000, 7);
const QByteArray kC = pattern(20000, 11);
// What out/c.xls holds before a move that replaces it.
const QByteArray kOld = pattern(9000, 13);

bool put(const QString& path, const QByteArray& bytes)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.constData(), std::size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && ok;
}

QByteArray get(const QString& path)
{
    return read_raw(QFile::encodeName(path));
}

// The real commands on the real backends, in the folder root (with src/, out/ and tmp/).
struct Commands
{
    explicit Commands(QString r) : root(std::move(r)) { window.single = false; }
    QString root;
    QRV_Public session;
    FakeClock clock;
    HistoryLog history{clock};
    ScriptedMessageBoxes messages;
    CountingYield yield;
    PosixShell shell{messages, nullptr};
    PosixFileSystem files;
    PosixArchiveFiles archive_files;
    UndoManager manager{session.undo, &archive_files};
    UnlhaArchiver archiver;
    RecordingMainView window;

    CommandEnv env()
    {
        CommandEnv e{session, history, messages, yield, window, manager};
        e.shell = &shell;
        e.files = &files;
        e.archive_files = &archive_files;
        e.archiver = &archiver;
        return e;
    }
    void mark(const QStringList& names)
    {
        session.sel_marks.clear();
        for (const QString& n : names)
            session.sel_marks.append(Path(root + QStringLiteral("src/") + n));
        session.sel_dir = Path(root + QStringLiteral("src/"));
        session.sel_file = Path(names.front());
    }
    void compress(const QString& name, const QStringList& names)
    {
        mark(names);
        CommandEnv e = env();
        run_compress(e, [&] {
            session.dlg_cancel = 0;
            session.dest_dir = Path(root + QStringLiteral("out/"));
            session.archive_name = Path(name);
        });
    }
    void transfer(TransferKind kind, const QStringList& names)
    {
        mark(names);
        CommandEnv e = env();
        run_copy_or_move(e, kind, [&] {
            session.dlg_cancel = 0;
            session.dest_dir = Path(root + QStringLiteral("out/"));
        });
    }
    void trash(const QStringList& names)
    {
        mark(names);
        messages.answers.append(MsgAnswer::Yes);
        CommandEnv e = env();
        run_trash(e);
    }
    void undo()
    {
        messages.answers.append(MsgAnswer::Yes);
        CommandEnv e = env();
        run_undo(e);
    }
    QString last_shown() const
    {
        return messages.shown.isEmpty() ? QString() : messages.shown.back().text;
    }
};

// The members of an archive by their names, as lhasa reads them; empty when it cannot.
QMap<QString, QByteArray> members(const QString& archive)
{
    QTemporaryDir into;
    QProcess p;
    p.setWorkingDirectory(into.path());
    p.start(QStringLiteral("lhasa"), {QStringLiteral("xq"), archive});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    QMap<QString, QByteArray> out;
    QDirIterator it(into.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        out.insert(f.mid(into.path().size()), get(f));
    }
    return out;
}

// What the archive must hold, by the source names in src/.
QString holds(const QString& root, const QString& archive, const QMap<QString, QByteArray>& want)
{
    QMap<QString, QByteArray> expected;
    for (auto it = want.begin(); it != want.end(); ++it)
        expected.insert(root + QStringLiteral("src/") + it.key(), it.value());
    const QMap<QString, QByteArray> got = members(archive);
    if (got == expected)
        return {};
    return QStringLiteral("%1 holds %2 members, not the %3 expected")
        .arg(QFileInfo(archive).fileName())
        .arg(got.size())
        .arg(expected.size());
}

QStringList names_in(const QString& folder, bool hidden)
{
    QStringList out;
    for (const QString& n : QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden))
        if (n.startsWith(QLatin1Char('.')) == hidden)
            out.append(n);
    out.sort();
    return out;
}

// How one run ended.
struct Outcome
{
    bool killed = false;
    bool success = false; // the command's closing message said so
    QString fired;        // the family of the call that failed, empty when none did
};

// Where b.xls and c.xls may be afterwards: still in src/, or moved to out/ (on the same file
// system, or on another one with home/), or the trash.
enum class Sources { Stay, Move, MoveAcross, Trash };

// One command of the table: its set-up (not counted), the command (counted), and the two
// states the folder may be in afterwards: its work done, or everything as before.
struct Case
{
    const char* name;
    Sources sources;
    QString success_text;
    std::function<void(Commands&)> setup;
    std::function<void(Commands&)> act;
    // Empty when the work is done (with kept: the earlier archive kept for undo, too).
    std::function<QString(const QString& root, bool kept)> done;
    std::function<QString(const QString& root)> untouched;
    QStringList visible_done;
    QStringList visible_untouched;
    // Swaps an archive with another: runs again with RENAME_EXCHANGE refused.
    bool swaps = false;
};

QString same(const QString& path, const QByteArray& want)
{
    return get(path) == want ? QString()
                             : QFileInfo(path).fileName() + QStringLiteral(" is not as it was");
}

QString gone(const QString& path)
{
    struct stat st
    {};
    return ::lstat(QFile::encodeName(path).constData(), &st) != 0
               ? QString()
               : QFileInfo(path).fileName() + QStringLiteral(" is still there");
}

// The earlier archive kept beside the updated one, for its undo.
QString kept_holds(const QString& root, const QByteArray& want)
{
    for (const QString& n : names_in(root + QStringLiteral("out"), true))
        if (n.startsWith(QLatin1String(kKeptPrefix)) &&
            get(root + QStringLiteral("out/") + n) == want)
            return {};
    return QStringLiteral("the earlier archive was not kept");
}

QString first_of(std::initializer_list<QString> reasons)
{
    for (const QString& r : reasons)
        if (!r.isEmpty())
            return r;
    return {};
}

QString arc(const QString& root, const char* name)
{
    return root + QStringLiteral("out/") + QLatin1String(name);
}

// ARC.LZH made from a and b, a edited afterwards; expect/before holds that archive.
void archive_of_a_and_b(Commands& c)
{
    c.compress(QStringLiteral("ARC"), {QStringLiteral("a.xls"), QStringLiteral("b.xls")});
    put(c.root + QStringLiteral("expect/before"), get(arc(c.root, "ARC.LZH")));
}

QString updated(const QString& root, bool kept)
{
    return first_of(
        {holds(root, arc(root, "ARC.LZH"),
               {{QStringLiteral("a.xls"), kA2},
                {QStringLiteral("b.xls"), kB},
                {QStringLiteral("c.xls"), kC}}),
         kept ? kept_holds(root, get(root + QStringLiteral("expect/before"))) : QString()});
}

QString as_before(const QString& root)
{
    return same(arc(root, "ARC.LZH"), get(root + QStringLiteral("expect/before")));
}

const QStringList kArc{QStringLiteral("ARC.LZH")};

// What out/c.xls held before a move that replaces it; empty without one.
QByteArray replaced_before(const QString& root)
{
    const QString record = root + QStringLiteral("expect/replaced");
    return QFileInfo::exists(record) ? get(record) : QByteArray();
}

// out/name still holds the file the command was to replace there.
bool is_replaced(const QString& root, const QString& name)
{
    const QByteArray before = replaced_before(root);
    return name == QLatin1String("c.xls") && !before.isEmpty() &&
           get(root + QStringLiteral("out/c.xls")) == before;
}

std::vector<Case> cases()
{
    const QStringList ac{QStringLiteral("a.xls"), QStringLiteral("c.xls")};
    std::vector<Case> t;
    t.push_back(
        {"compression into a new archive",
         Sources::Stay,
         kCompressed,
         [](Commands&) {},
         [](Commands& c) {
             c.compress(QStringLiteral("NEW"), {QStringLiteral("a.xls"), QStringLiteral("b.xls")});
         },
         [](const QString& root, bool) {
             return holds(root, arc(root, "NEW.LZH"),
                          {{QStringLiteral("a.xls"), kA2}, {QStringLiteral("b.xls"), kB}});
         },
         [](const QString& root) { return gone(arc(root, "NEW.LZH")); },
         {QStringLiteral("NEW.LZH")},
         {}});
    t.push_back({"compression updating an archive", Sources::Stay, kCompressed, archive_of_a_and_b,
                 [ac](Commands& c) { c.compress(QStringLiteral("ARC"), ac); }, updated, as_before,
                 kArc, kArc, true});
    t.push_back(
        {"compression updating an archive with a second hard link",
         Sources::Stay,
         kCompressed,
         [](Commands& c) {
             archive_of_a_and_b(c);
             ::link(QFile::encodeName(arc(c.root, "ARC.LZH")).constData(),
                    QFile::encodeName(arc(c.root, "OTHER.LZH")).constData());
         },
         [ac](Commands& c) { c.compress(QStringLiteral("ARC"), ac); },
         [](const QString& root, bool kept) {
             return first_of(
                 {updated(root, kept),
                  same(arc(root, "OTHER.LZH"), get(root + QStringLiteral("expect/before")))});
         },
         [](const QString& root) {
             return first_of({as_before(root), same(arc(root, "OTHER.LZH"),
                                                    get(root + QStringLiteral("expect/before")))});
         },
         {QStringLiteral("ARC.LZH"), QStringLiteral("OTHER.LZH")},
         {QStringLiteral("ARC.LZH"), QStringLiteral("OTHER.LZH")}});
    t.push_back({"compression through a symbolic link to the archive",
                 Sources::Stay,
                 kCompressed,
                 [](Commands& c) {
                     archive_of_a_and_b(c);
                     ::symlink("ARC.LZH", QFile::encodeName(arc(c.root, "LINK.LZH")).constData());
                 },
                 [ac](Commands& c) { c.compress(QStringLiteral("LINK"), ac); },
                 [](const QString& root, bool kept) {
                     const QFileInfo link(arc(root, "LINK.LZH"));
                     return link.isSymLink() ? updated(root, kept)
                                             : QStringLiteral("the link was replaced");
                 },
                 [](const QString& root) {
                     const QFileInfo link(arc(root, "LINK.LZH"));
                     return link.isSymLink() ? as_before(root)
                                             : QStringLiteral("the link was replaced");
                 },
                 {QStringLiteral("ARC.LZH"), QStringLiteral("LINK.LZH")},
                 {QStringLiteral("ARC.LZH"), QStringLiteral("LINK.LZH")}});
    t.push_back(
        {"undo of an update", Sources::Stay, kUndone,
         [ac](Commands& c) {
             archive_of_a_and_b(c);
             c.compress(QStringLiteral("ARC"), ac);
             put(c.root + QStringLiteral("expect/made"), get(arc(c.root, "ARC.LZH")));
         },
         [](Commands& c) { c.undo(); }, [](const QString& root, bool) { return as_before(root); },
         [](const QString& root) {
             // The earlier archive is still kept, so the undo can be tried again.
             return first_of({same(arc(root, "ARC.LZH"), get(root + QStringLiteral("expect/made"))),
                              kept_holds(root, get(root + QStringLiteral("expect/before")))});
         },
         kArc, kArc, true});
    t.push_back({"undo of a new archive",
                 Sources::Stay,
                 kUndone,
                 [](Commands& c) {
                     c.compress(QStringLiteral("NEW"), {QStringLiteral("b.xls")});
                     put(c.root + QStringLiteral("expect/made"), get(arc(c.root, "NEW.LZH")));
                 },
                 [](Commands& c) { c.undo(); },
                 [](const QString& root, bool) { return gone(arc(root, "NEW.LZH")); },
                 [](const QString& root) {
                     return same(arc(root, "NEW.LZH"), get(root + QStringLiteral("expect/made")));
                 },
                 {},
                 {QStringLiteral("NEW.LZH")}});
    t.push_back(
        {"copy of two files",
         Sources::Stay,
         kCopied,
         [](Commands&) {},
         [](Commands& c) {
             c.transfer(TransferKind::Copy, {QStringLiteral("b.xls"), QStringLiteral("c.xls")});
         },
         [](const QString& root, bool) {
             return first_of({same(root + QStringLiteral("out/b.xls"), kB),
                              same(root + QStringLiteral("out/c.xls"), kC)});
         },
         // A failed copy may leave the files it finished: each is whole.
         [](const QString& root) {
             for (const auto& [name, bytes] : {std::pair{QStringLiteral("b.xls"), kB},
                                               std::pair{QStringLiteral("c.xls"), kC}}) {
                 const QString p = root + QStringLiteral("out/") + name;
                 if (QFileInfo::exists(p) && get(p) != bytes)
                     return name + QStringLiteral(" is partial");
             }
             return QString();
         },
         {QStringLiteral("b.xls"), QStringLiteral("c.xls")},
         {QStringLiteral("b.xls"), QStringLiteral("c.xls")}});
    // Moved and trashed files are checked where they went (judge); the folder holds only
    // what arrived.
    const auto whole_or_none = [](const QString& root) {
        for (const auto& [name, bytes] :
             {std::pair{QStringLiteral("b.xls"), kB}, std::pair{QStringLiteral("c.xls"), kC}}) {
            const QString p = root + QStringLiteral("out/") + name;
            if (QFileInfo::exists(p) && get(p) != bytes && !is_replaced(root, name))
                return name + QStringLiteral(" is partial");
        }
        return QString();
    };
    const QStringList bc{QStringLiteral("b.xls"), QStringLiteral("c.xls")};
    t.push_back({"move of two files", Sources::Move, kMoved, [](Commands&) {},
                 [bc](Commands& c) { c.transfer(TransferKind::Move, bc); },
                 [whole_or_none](const QString& root, bool) { return whole_or_none(root); },
                 whole_or_none, bc, bc});
    t.push_back({"move of two files to another file system, one replacing", Sources::MoveAcross,
                 kMoved,
                 [](Commands& c) {
                     put(c.root + QStringLiteral("out/c.xls"), kOld);
                     put(c.root + QStringLiteral("expect/replaced"), kOld);
                     c.messages.answers.append(MsgAnswer::Yes);
                 },
                 [bc](Commands& c) { c.transfer(TransferKind::Move, bc); },
                 [whole_or_none](const QString& root, bool) { return whole_or_none(root); },
                 whole_or_none, bc, bc});
    t.push_back({"trash of two files",
                 Sources::Trash,
                 kTrashed,
                 [](Commands&) {},
                 [bc](Commands& c) { c.trash(bc); },
                 [](const QString&, bool) { return QString(); },
                 [](const QString&) { return QString(); },
                 {},
                 {}});
    return t;
}

QString trash_files(const QString& root)
{
    return root + QStringLiteral("home/.local/share/Trash/files/");
}

QString trash_info(const QString& root)
{
    return root + QStringLiteral("home/.local/share/Trash/info/");
}

// The file out/c.xls held before a replacing move: in its place, or in the trash with its
// entry once c.xls took the place (or the process died between the two); after a failure it
// is back in its place.
QString replaced_kept(const QString& root, const Outcome& o)
{
    const QByteArray before = replaced_before(root);
    if (before.isEmpty() || is_replaced(root, QStringLiteral("c.xls")))
        return {};
    bool trashed = false;
    for (const QString& n : QDir(trash_files(root)).entryList(QDir::Files | QDir::Hidden))
        trashed =
            trashed || (get(trash_files(root) + n) == before &&
                        QFileInfo::exists(trash_info(root) + n + QStringLiteral(".trashinfo")));
    if (!o.killed && get(root + QStringLiteral("out/c.xls")) != kC)
        return QStringLiteral("the replaced c.xls is not back in its place");
    return trashed ? QString() : QStringLiteral("the replaced c.xls is lost");
}

// Every byte of b.xls and c.xls is whole in one place at least: where it was, or where the
// command sends it; a trash entry always has its file.
QString sources_kept(const Case& c, const QString& root, const Outcome& o)
{
    const QString there =
        c.sources == Sources::Trash ? trash_files(root) : root + QStringLiteral("out/");
    const QString replaced = replaced_kept(root, o);
    if (!replaced.isEmpty())
        return replaced;
    for (const auto& [name, bytes] :
         {std::pair{QStringLiteral("b.xls"), kB}, std::pair{QStringLiteral("c.xls"), kC}}) {
        const QString here = root + QStringLiteral("src/") + name;
        const bool at_source = QFileInfo::exists(here);
        if (at_source && get(here) != bytes)
            return QStringLiteral("source %1 changed").arg(name);
        if (c.sources == Sources::Stay) {
            if (!at_source)
                return QStringLiteral("source %1 is gone").arg(name);
            continue;
        }
        const bool arrived = QFileInfo::exists(there + name) && !is_replaced(root, name);
        if (arrived && get(there + name) != bytes)
            return QStringLiteral("%1 arrived partial").arg(name);
        if (!at_source && !arrived)
            return QStringLiteral("%1 is lost").arg(name);
        if (o.success && (at_source || !arrived))
            return QStringLiteral("%1 did not go, yet success was reported").arg(name);
    }
    if (o.killed) // as the next start clears it
        FreedesktopTrash::clear_interrupted(
            QFile::encodeName(root + QStringLiteral("home/.local/share/Trash")));
    for (const QString& entry : QDir(trash_info(root)).entryList(QDir::Files | QDir::Hidden))
        if (entry.endsWith(QLatin1String(".trashinfo")) &&
            !QFileInfo::exists(trash_files(root) + entry.chopped(10)))
            return QStringLiteral("trash entry %1 has no file").arg(entry);
    return {};
}

// From the shim's log: nothing in src/ was unlinked before out/'s file system was synced
// after the last name made on it.
QString synced_before_unlink(const QString& root)
{
    struct stat src
    {};
    struct stat out
    {};
    if (::stat(QFile::encodeName(root + QStringLiteral("src")).constData(), &src) != 0 ||
        ::stat(QFile::encodeName(root + QStringLiteral("out")).constData(), &out) != 0)
        return QStringLiteral("src or out is gone");
    const QByteArray dev = QByteArray::number(quint64(out.st_dev));
    const QByteArray source = "unlink " + QByteArray::number(quint64(src.st_dev)) + ' ' +
                              QByteArray::number(quint64(src.st_ino));
    bool synced = true;
    for (const QByteArray& line : get(root + QStringLiteral("expect/faultlog")).split('\n')) {
        if (line == "name " + dev)
            synced = false;
        else if (line == "sync " + dev + " 1")
            synced = true;
        else if (line == source && !synced)
            return QStringLiteral("a source was unlinked before its copy was synced");
    }
    return {};
}

// The tree every case starts from, in a temporary folder; for a move across file systems
// out/ and home/ are links to folders on the second one.
struct Tree
{
    QTemporaryDir here;
    std::unique_ptr<QTemporaryDir> there;
    QString root = here.path() + QLatin1Char('/');

    bool make(const Case& c)
    {
        for (const char* d : {"src", "tmp", "expect"})
            if (!QDir().mkpath(root + QLatin1String(d)))
                return false;
        for (const char* d : {"out", "home"}) {
            if (c.sources != Sources::MoveAcross) {
                if (!QDir().mkpath(root + QLatin1String(d)))
                    return false;
                continue;
            }
            if (!there)
                there = std::make_unique<QTemporaryDir>(second_file_system(root) +
                                                        QStringLiteral("/pelmora-fault-XXXXXX"));
            const QString far = there->path() + QLatin1Char('/') + QLatin1String(d);
            if (!there->isValid() || !QDir().mkpath(far) ||
                !QFile::link(far, root + QLatin1String(d)))
                return false;
        }
        return put(root + QStringLiteral("src/a.xls"), kA) &&
               put(root + QStringLiteral("src/b.xls"), kB) &&
               put(root + QStringLiteral("src/c.xls"), kC);
    }
};

// In the child: set up, run the command with the shim armed, say how it went.
int run_child(const QString& caseName, const QString& root)
{
    auto arm = reinterpret_cast<void (*)(int)>(::dlsym(RTLD_DEFAULT, "pelmora_fault_arm"));
    auto calls = reinterpret_cast<long (*)()>(::dlsym(RTLD_DEFAULT, "pelmora_fault_calls"));
    auto fired = reinterpret_cast<const char* (*)()>(::dlsym(RTLD_DEFAULT, "pelmora_fault_fired"));
    if (!arm || !calls || !fired) {
        std::fprintf(stderr, "the fault shim is not loaded\n");
        return 2;
    }
    for (const Case& c : cases()) {
        if (caseName != QLatin1String(c.name))
            continue;
        Commands commands(root);
        c.setup(commands);
        put(root + QStringLiteral("src/a.xls"), kA2);
        commands.messages.shown.clear();
        arm(1);
        c.act(commands);
        arm(0);
        const char* f = fired();
        std::printf("success=%d calls=%ld fired=%s\n",
                    commands.last_shown() == c.success_text ? 1 : 0, calls(), f ? f : "-");
        // Left as a running program leaves things: the earlier archive still kept for undo.
        std::fflush(stdout);
        ::_exit(0);
    }
    return 2;
}

struct ChildRun
{
    Outcome outcome;
    long calls = 0;
    bool ran = false;
};

std::unique_ptr<QProcess> start_child(const QString& program, const Case& c, const QString& root,
                                      long at, bool kill, bool no_exchange)
{
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(PELMORA_FAULT_SHIM));
    env.insert(QStringLiteral("PELMORA_FAULT_AT"), QString::number(at));
    env.insert(QStringLiteral("PELMORA_FAULT_KILL"),
               kill ? QStringLiteral("1") : QStringLiteral("0"));
    env.insert(QStringLiteral("PELMORA_FAULT_NO_EXCHANGE"),
               no_exchange ? QStringLiteral("1") : QStringLiteral("0"));
    env.insert(QStringLiteral("PELMORA_FAULT_LOG"), root + QStringLiteral("expect/faultlog"));
    env.insert(QStringLiteral("TMPDIR"), root + QStringLiteral("tmp"));
    env.insert(QStringLiteral("HOME"), root + QStringLiteral("home"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("home/.local/share"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p->setProcessEnvironment(env);
    p->start(program, {QStringLiteral("--child"), QLatin1String(c.name), root});
    return p;
}

ChildRun finish_child(QProcess& p, bool kill)
{
    ChildRun run;
    if (!p.waitForFinished(120000))
        return run;
    if (p.exitStatus() == QProcess::CrashExit) {
        run.ran = kill;
        run.outcome.killed = true;
        return run;
    }
    const QByteArray out = p.readAllStandardOutput();
    const qsizetype at_s = out.indexOf("success=");
    if (p.exitCode() != 0 || at_s < 0)
        return run;
    const QList<QByteArray> fields = out.mid(at_s).trimmed().split(' ');
    run.ran = fields.size() == 3;
    if (!run.ran)
        return run;
    run.outcome.success = fields[0] == "success=1";
    run.calls = fields[1].mid(6).toLong();
    run.outcome.fired = QString::fromLatin1(fields[2].mid(6));
    if (run.outcome.fired == QLatin1String("-"))
        run.outcome.fired.clear();
    return run;
}

// Empty when the run held.
QString judge(const Case& c, const QString& root, const Outcome& o)
{
    if (get(root + QStringLiteral("src/a.xls")) != kA2)
        return QStringLiteral("source a.xls changed");
    const QString kept = first_of({sources_kept(c, root, o), synced_before_unlink(root)});
    if (!kept.isEmpty())
        return kept;
    const QString out = root + QStringLiteral("out");
    const QStringList visible = names_in(out, false);
    // Each state is looked at only where it may stand (reading an archive back takes time).
    QString state;
    if (o.killed) {
        const QString untouched = c.untouched(root);
        const QString done = untouched.isEmpty() ? QString() : c.done(root, false);
        state = done.isEmpty() ? QString() : done + QStringLiteral("; ") + untouched;
    } else if (o.success) {
        state = c.done(root, true);
        // Success after a failed sync is success before durability.
        if (state.isEmpty() &&
            (o.fired == QLatin1String("fsync") || o.fired == QLatin1String("syncfs")))
            state = QStringLiteral("success reported after a failed ") + o.fired;
    } else {
        state = c.untouched(root);
    }
    if (!state.isEmpty())
        return state;
    // Nothing partial or strange under a final name.
    const QStringList allowed = o.killed    ? c.visible_done + c.visible_untouched
                                : o.success ? c.visible_done
                                            : c.visible_untouched;
    for (const QString& n : visible)
        if (!allowed.contains(n))
            return QStringLiteral("%1 stands in the folder").arg(n);
    // Leftovers: only where removing them was the call that failed, or the process died.
    const bool leftovers_allowed = o.killed || o.fired.startsWith(QLatin1String("unlink"));
    if (o.killed) {
        remove_stale_files(QFile::encodeName(out));
        remove_stale_files(QFile::encodeName(root + QStringLiteral("tmp")));
    }
    if (!leftovers_allowed || o.killed) {
        const QStringList lists = names_in(root + QStringLiteral("tmp"), false);
        if (!lists.isEmpty())
            return QStringLiteral("list file %1 left").arg(lists.front());
        for (const QString& n : names_in(out, true))
            if (n.startsWith(QLatin1String(kTempPrefix)) ||
                (o.killed && n.startsWith(QLatin1String(kKeptPrefix))))
                return QStringLiteral("%1 left").arg(n);
    }
    return {};
}

} // namespace

class TestFaultPoints : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void every_point_holds_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("kill");
        QTest::addColumn<bool>("no_exchange");
        const std::vector<Case> t = cases();
        for (int i = 0; i < int(t.size()); ++i) {
            for (const bool no_exchange : {false, true}) {
                if (no_exchange && !t[std::size_t(i)].swaps)
                    continue;
                const QByteArray name =
                    QByteArray(t[std::size_t(i)].name) + (no_exchange ? ", without exchange" : "");
                QTest::newRow(name.constData()) << i << false << no_exchange;
                QTest::newRow((name + ", killed").constData()) << i << true << no_exchange;
            }
        }
    }

    void every_point_holds()
    {
        QFETCH(int, index);
        QFETCH(bool, kill);
        QFETCH(bool, no_exchange);
        if (QStandardPaths::findExecutable(QStringLiteral("lhasa")).isEmpty())
            QFAIL("lhasa is not installed: the archives cannot be read back");
        const Case c = cases()[std::size_t(index)];
        const QString program = QCoreApplication::applicationFilePath();

        // The run without a fault counts the points and must succeed.
        Tree counting;
        if (c.sources == Sources::MoveAcross && second_file_system(counting.root).isEmpty())
            QFAIL(qPrintable(QStringLiteral("no second file system: /dev/shm is missing or on the "
                                            "file system of %1; set PELMORA_SECOND_FS to a "
                                            "writable folder on another one (a tmpfs, say)")
                                 .arg(counting.root)));
        const QString root0 = counting.root;
        QVERIFY(counting.make(c));
        const ChildRun plain =
            finish_child(*start_child(program, c, root0, 0, false, no_exchange), false);
        QVERIFY2(plain.ran, "the child did not run");
        QVERIFY2(plain.outcome.success, "the command failed without a fault");
        QVERIFY2(judge(c, root0, plain.outcome).isEmpty(),
                 qPrintable(judge(c, root0, plain.outcome)));
        QVERIFY(plain.calls > 0);

        int tried = 0;
        int held = 0;
        QStringList broken;
        // A few points at once, each in a tree of its own: a child mostly waits for the disk.
        const long width = std::clamp(QThread::idealThreadCount(), 2, 8);
        for (long first = 1; first <= plain.calls; first += width) {
            std::vector<std::pair<std::unique_ptr<Tree>, std::unique_ptr<QProcess>>> batch;
            for (long k = first; k < first + width && k <= plain.calls; ++k) {
                auto tree = std::make_unique<Tree>();
                QVERIFY(tree->make(c));
                auto child = start_child(program, c, tree->root, k, kill, no_exchange);
                batch.emplace_back(std::move(tree), std::move(child));
            }
            for (std::size_t i = 0; i < batch.size(); ++i) {
                const long k = first + long(i);
                const QString root = batch[i].first->root;
                const ChildRun run = finish_child(*batch[i].second, kill);
                QVERIFY2(run.ran,
                         qPrintable(QStringLiteral("the child did not finish at point %1").arg(k)));
                if (!run.outcome.killed && run.outcome.fired.isEmpty())
                    continue; // fewer calls this time: nothing failed
                ++tried;
                const QString why = judge(c, root, run.outcome);
                if (why.isEmpty())
                    ++held;
                else
                    broken.append(
                        QStringLiteral("point %1 (%2): %3")
                            .arg(k)
                            .arg(run.outcome.killed ? QStringLiteral("kill") : run.outcome.fired)
                            .arg(why));
            }
        }
        std::printf("%s%s%s: points tried %d / held %d\n", c.name,
                    no_exchange ? ", without exchange" : "", kill ? ", killed" : "", tried, held);
        QVERIFY(tried > 0);
        QVERIFY2(broken.isEmpty(), qPrintable(broken.join(QLatin1Char('\n'))));
    }
};

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0)
        return run_child(QString::fromUtf8(argv[2]), QString::fromUtf8(argv[3]));
    TestFaultPoints test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fault_points.moc"
