// SPDX-License-Identifier: GPL-3.0-or-later
// The trash writer on real files: the layout and info entries other desktop programs read,
// name clashes, links, raw-byte names, other mounts, refusals; and, where the desktop's own
// trash tools run (see trash_gio_e2e.sh), a round trip through them.
#include "backends/posix/freedesktop_trash.h"
#include "base/native_path.h"
#include "unprivileged.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pelmora;
using namespace pelmora::test;
using native_path::from_native;
using native_path::to_native;

namespace {

bool write_bytes(const QByteArray& path, const QByteArray& content)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok =
        ::write(fd, content.constData(), std::size_t(content.size())) == ssize_t(content.size());
    return ::close(fd) == 0 && ok;
}

QByteArray read_bytes(const QByteArray& path)
{
    QByteArray out;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "<missing>";
    char buf[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        out.append(buf, n);
    ::close(fd);
    return out;
}

bool exists(const QByteArray& path)
{
    struct stat st
    {};
    return ::lstat(path.constData(), &st) == 0;
}

mode_t mode_of(const QByteArray& path)
{
    struct stat st
    {};
    return ::lstat(path.constData(), &st) == 0 ? st.st_mode : 0;
}

dev_t device_of(const QByteArray& path)
{
    struct stat st
    {};
    return ::stat(path.constData(), &st) == 0 ? st.st_dev : 0;
}

// A path as gio prints it: control characters and bytes that are not UTF-8 as \xHH.
QByteArray as_gio_prints(const QByteArray& path)
{
    const QString text = from_native(path);
    QByteArray out;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0xDC80 && u <= 0xDCFF)
            out += "\\x" + QByteArray::number(u - 0xDC00, 16).rightJustified(2, '0');
        else if (u < 0x20)
            out += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
        else
            out += QString(c).toUtf8();
    }
    return out;
}

QByteArray info_path_line(const TrashedFile& t)
{
    const QList<QByteArray> lines = read_bytes(t.info.bytes()).split('\n');
    for (const QByteArray& l : lines) {
        if (l.startsWith("Path="))
            return l.mid(5);
    }
    return {};
}

} // namespace

class TestFreedesktopTrash : public QObject
{
    Q_OBJECT
    QTemporaryDir m_home;
    QTemporaryDir m_files;
    QByteArray m_data;

    QByteArray file(const QByteArray& rel) const { return to_native(m_files.path()) + '/' + rel; }

private Q_SLOTS:
    void init()
    {
        // A fresh, not yet existing data folder per case: the trash is made on first use.
        static int n = 0;
        m_data = to_native(m_home.path()) + "/data" + QByteArray::number(++n);
        qputenv("XDG_DATA_HOME", m_data);
    }

    void home_trash_is_made_private_and_the_entry_is_encoded()
    {
        QVERIFY(write_bytes(file("100%41 a,b.xls"), "percent"));
        FreedesktopTrash trash;
        const QDateTime when(QDate(2024, 5, 6), QTime(7, 8, 9));
        trash.set_now([when] { return when; });
        const auto t = trash.trash(Path::from_bytes(file("100%41 a,b.xls")));
        QVERIFY(t.has_value());
        QCOMPARE(home_trash_folder(), m_data + "/Trash");
        for (const QByteArray& d :
             {m_data + "/Trash", m_data + "/Trash/files", m_data + "/Trash/info"})
            QCOMPARE(mode_of(d) & 07777, mode_t(0700));
        QVERIFY(!exists(file("100%41 a,b.xls")));
        QCOMPARE(t->file.bytes(), m_data + "/Trash/files/100%41 a,b.xls");
        QCOMPARE(t->info.bytes(), m_data + "/Trash/info/100%41 a,b.xls.trashinfo");
        QCOMPARE(read_bytes(t->file.bytes()), QByteArray("percent"));
        const QByteArray expected =
            "[Trash Info]\nPath=" + percent_encoded(to_native(m_files.path())) +
            "/100%2541%20a%2Cb.xls\nDeletionDate=2024-05-06T07:08:09\n";
        QCOMPARE(read_bytes(t->info.bytes()), expected);
    }

    void deletion_date_is_local_time()
    {
        QVERIFY(write_bytes(file("now.xls"), "n"));
        FreedesktopTrash trash;
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        const auto t = trash.trash(Path::from_bytes(file("now.xls")));
        QVERIFY(t.has_value());
        const QByteArray text = read_bytes(t->info.bytes());
        const QRegularExpression re(
            QStringLiteral("DeletionDate=(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d)\n"));
        const auto m = re.match(QString::fromLatin1(text));
        QVERIFY2(m.hasMatch(), text.constData());
        const QDateTime stamped = QDateTime::fromString(m.captured(1), Qt::ISODate);
        QVERIFY(stamped >= before.addSecs(-1) && stamped <= QDateTime::currentDateTime());
    }

    void a_name_clash_keeps_both_and_each_goes_back()
    {
        QVERIFY(QDir().mkpath(m_files.filePath(QStringLiteral("x"))));
        QVERIFY(QDir().mkpath(m_files.filePath(QStringLiteral("y"))));
        QVERIFY(write_bytes(file("x/a.xls"), "from x"));
        QVERIFY(write_bytes(file("y/a.xls"), "from y"));
        FreedesktopTrash trash;
        const auto tx = trash.trash(Path::from_bytes(file("x/a.xls")));
        const auto ty = trash.trash(Path::from_bytes(file("y/a.xls")));
        QVERIFY(tx && ty);
        QCOMPARE(tx->file.bytes(), m_data + "/Trash/files/a.xls");
        QCOMPARE(ty->file.bytes(), m_data + "/Trash/files/a.2.xls");
        QCOMPARE(read_bytes(tx->file.bytes()), QByteArray("from x"));
        QCOMPARE(read_bytes(ty->file.bytes()), QByteArray("from y"));
        QVERIFY(info_path_line(*ty).endsWith("/y/a.xls"));

        // Back where each came from; a taken place is refused and the trash keeps the file.
        QVERIFY(write_bytes(file("y/a.xls"), "newcomer"));
        QVERIFY(!FreedesktopTrash::restore(*ty));
        QCOMPARE(read_bytes(file("y/a.xls")), QByteArray("newcomer"));
        QCOMPARE(read_bytes(ty->file.bytes()), QByteArray("from y"));
        QVERIFY(exists(ty->info.bytes()));
        QVERIFY(FreedesktopTrash::restore(*tx));
        QCOMPARE(read_bytes(file("x/a.xls")), QByteArray("from x"));
        QVERIFY(!exists(tx->info.bytes()));
    }

    void a_dangling_link_is_trashed_as_a_link()
    {
        QVERIFY(::symlink("/nonexistent/target.xls", file("dangling.xls").constData()) == 0);
        FreedesktopTrash trash;
        const auto t = trash.trash(Path::from_bytes(file("dangling.xls")));
        QVERIFY(t.has_value());
        QVERIFY(!exists(file("dangling.xls")));
        QVERIFY(S_ISLNK(mode_of(t->file.bytes())));
        QVERIFY(FreedesktopTrash::restore(*t));
        QVERIFY(S_ISLNK(mode_of(file("dangling.xls"))));
    }

    void raw_byte_names_reach_the_exact_file()
    {
        const QByteArray raw = file("caf\xe9.xls");
        const QByteArray twin = file("caf\xef\xbf\xbd.xls");
        QVERIFY(write_bytes(raw, "latin1 name"));
        QVERIFY(write_bytes(twin, "the decoy"));
        FreedesktopTrash trash;
        const auto t = trash.trash(Path::from_bytes(raw));
        QVERIFY(t.has_value());
        QVERIFY(!exists(raw));
        QCOMPARE(read_bytes(twin), QByteArray("the decoy"));
        QCOMPARE(read_bytes(t->file.bytes()), QByteArray("latin1 name"));
        QVERIFY(info_path_line(*t).endsWith("/caf%E9.xls"));
        QVERIFY(FreedesktopTrash::restore(*t));
        QCOMPARE(read_bytes(raw), QByteArray("latin1 name"));
        ::unlink(raw.constData()); // the temporary folder's own clean-up cannot name it
    }

    void a_file_on_another_mount_goes_to_that_mounts_trash()
    {
        QTemporaryDir shm(QStringLiteral("/dev/shm/pelmora-trash-XXXXXX"));
        if (!shm.isValid() ||
            device_of("/dev/shm") == device_of(m_data.left(m_data.lastIndexOf('/'))))
            QSKIP("no second file system at /dev/shm");
        const QByteArray sub = to_native(shm.path());
        const QByteArray path = sub + "/on shm.xls";
        QVERIFY(write_bytes(path, "shm bytes"));
        FreedesktopTrash trash;
        const auto t = trash.trash(Path::from_bytes(path));
        QVERIFY(t.has_value());
        const QByteArray root = "/dev/shm/.Trash-" + QByteArray::number(::getuid());
        QVERIFY2(t->file.bytes().startsWith(root + "/files/"), qPrintable(t->file.text()));
        QCOMPARE(mode_of(root) & 07777, mode_t(0700));
        QCOMPARE(device_of(t->file.bytes()), device_of(sub));
        // Relative to the mount's top folder.
        QCOMPARE(info_path_line(*t),
                 percent_encoded(sub.mid(QByteArray("/dev/shm/").size()) + "/on shm.xls"));
        QVERIFY(FreedesktopTrash::restore(*t));
        QCOMPARE(read_bytes(path), QByteArray("shm bytes"));
    }

    void without_a_usable_trash_the_file_stays()
    {
        // The home trash cannot be made below a plain file.
        QVERIFY(write_bytes(to_native(m_home.path()) + "/plain", "p"));
        qputenv("XDG_DATA_HOME", to_native(m_home.path()) + "/plain/data");
        QVERIFY(write_bytes(file("stays.xls"), "stay"));
        FreedesktopTrash trash;
        QVERIFY(!trash.trash(Path::from_bytes(file("stays.xls"))).has_value());
        QCOMPARE(read_bytes(file("stays.xls")), QByteArray("stay"));
    }

    void the_mounts_shared_trash_is_used_only_when_sticky_and_no_link()
    {
        const QByteArray mount = qgetenv("PELMORA_SECOND_MOUNT");
        if (mount.isEmpty())
            QSKIP("runs in trash_gio_e2e.sh, on a private mount");
        const QByteArray uid = QByteArray::number(::getuid());
        FreedesktopTrash trash;

        // Not sticky: ignored, the user's own .Trash-$uid is used.
        QVERIFY(::mkdir((mount + "/.Trash").constData(), 0777) == 0);
        QVERIFY(::chmod((mount + "/.Trash").constData(), 0777) == 0);
        QVERIFY(write_bytes(mount + "/one.xls", "1"));
        auto t = trash.trash(Path::from_bytes(mount + "/one.xls"));
        QVERIFY(t && t->file.bytes().startsWith(mount + "/.Trash-" + uid + "/files/"));
        QCOMPARE(info_path_line(*t), QByteArray("one.xls"));

        // Sticky: .Trash/$uid.
        QVERIFY(::chmod((mount + "/.Trash").constData(), 01777) == 0);
        QVERIFY(write_bytes(mount + "/two.xls", "2"));
        t = trash.trash(Path::from_bytes(mount + "/two.xls"));
        QVERIFY(t && t->file.bytes().startsWith(mount + "/.Trash/" + uid + "/files/"));
        QCOMPARE(mode_of(mount + "/.Trash/" + uid) & 07777, mode_t(0700));

        // A link named .Trash is not followed, even to a sticky folder.
        QVERIFY(::rename((mount + "/.Trash").constData(), (mount + "/real").constData()) == 0);
        QVERIFY(::symlink("real", (mount + "/.Trash").constData()) == 0);
        QVERIFY(write_bytes(mount + "/three.xls", "3"));
        t = trash.trash(Path::from_bytes(mount + "/three.xls"));
        QVERIFY(t && t->file.bytes().startsWith(mount + "/.Trash-" + uid + "/files/"));
        QVERIFY(::unlink((mount + "/.Trash").constData()) == 0);
        QVERIFY(::rename((mount + "/real").constData(), (mount + "/.Trash").constData()) == 0);
    }

    void the_desktop_trash_lists_and_restores_our_entries()
    {
        const QByteArray mount = qgetenv("PELMORA_SECOND_MOUNT");
        if (mount.isEmpty() || qgetenv("DBUS_SESSION_BUS_ADDRESS").isEmpty())
            QSKIP("runs in trash_gio_e2e.sh, with gio on a session bus");
        // This case's trash is the one gio's daemon was started with.
        qputenv("XDG_DATA_HOME", qgetenv("PELMORA_GIO_DATA_HOME"));
        QVERIFY(QDir().mkpath(m_files.filePath(QStringLiteral("x"))));
        QVERIFY(QDir().mkpath(m_files.filePath(QStringLiteral("y"))));
        QVERIFY(::mkdir((mount + "/sub dir").constData(), 0755) == 0);
        struct Case
        {
            QByteArray path;
            QByteArray content;
        };
        const QList<Case> cases{
            {file("100%41.xls"), "percent"},
            {file("x/same.xls"), "x version"},
            {file("y/same.xls"), "y version"},
            {file("tab\tcomma,quote\".xls"), "odd"},
            {file("new\nline.xls"), "newline"},
            {file("caf\xe9 \x8e\x9a.xls"), "raw bytes"},
            {mount + "/sub dir/mounted 100%.xls", "on the second mount"},
            {mount + "/top.xls", "mount top"},
        };
        FreedesktopTrash trash;
        for (const Case& c : cases) {
            QVERIFY(write_bytes(c.path, c.content));
            QVERIFY2(trash.trash(Path::from_bytes(c.path)).has_value(), c.path.constData());
            QVERIFY(!exists(c.path));
        }

        QProcess gio;
        gio.start(QStringLiteral("gio"), {QStringLiteral("trash"), QStringLiteral("--list")});
        QVERIFY(gio.waitForFinished(60000));
        QCOMPARE(gio.exitCode(), 0);
        QMap<QByteArray, QByteArray> uriOf; // original path -> trash URI
        for (const QByteArray& line : gio.readAllStandardOutput().split('\n')) {
            const qsizetype tab = line.indexOf('\t');
            if (tab > 0)
                uriOf.insert(line.mid(tab + 1), line.left(tab));
        }
        for (const Case& c : cases)
            QVERIFY2(uriOf.contains(as_gio_prints(c.path)), as_gio_prints(c.path).constData());

        for (const Case& c : cases) {
            // gio restores a name holding a control character or a byte that is not UTF-8
            // under its escaped display form (a literal "\x09"), for entries it wrote itself
            // too: such entries are checked as listed only.
            if (as_gio_prints(c.path) != c.path)
                continue;
            QProcess restore;
            restore.start(QStringLiteral("gio"),
                          {QStringLiteral("trash"), QStringLiteral("--restore"),
                           QString::fromUtf8(uriOf.value(as_gio_prints(c.path)))});
            QVERIFY(restore.waitForFinished(60000));
            QVERIFY2(restore.exitCode() == 0, restore.readAllStandardError().constData());
            QCOMPARE(read_bytes(c.path), c.content);
        }
        ::unlink(file("caf\xe9 \x8e\x9a.xls").constData());
    }
};

QTEST_GUILESS_MAIN(TestFreedesktopTrash)
#include "tst_freedesktop_trash.moc"
