// SPDX-License-Identifier: GPL-3.0-or-later
// Which mounts become roots, and in what order.
#include "backends/posix/mount_roots.h"

#include <QtTest>

using namespace pelmora;

class TestMountRoots : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void home_comes_first_then_browsable_mounts_in_path_order()
    {
        const QList<MountInfo> mounts{
            {"/", "ext4", ""},
            {"/proc", "proc", ""},
            {"/sys", "sysfs", ""},
            {"/run/user/1000", "tmpfs", ""},
            {"/run/media/u/USB", "vfat", "USB"},
            {"/mnt/share", "cifs", ""},
            {"/dev/shm", "tmpfs", ""},
            {"/var/lib/docker/overlay2/abc/merged", "overlay", ""},
            {"/home", "ext4", ""},
            {"/home", "ext4", ""},
            {"/snap/core/1", "squashfs", ""},
        };
        const QList<Root> roots = roots_from_mounts(QStringLiteral("/home/u"), mounts);
        QStringList paths;
        for (const Root& r : roots)
            paths.append(r.path.text());
        QCOMPARE(paths,
                 (QStringList{"/home/u/", "/", "/home/", "/mnt/share/", "/run/media/u/USB/"}));
        QCOMPARE(roots.front().label, QStringLiteral("ホーム"));
        QVERIFY(roots.last().display_text().startsWith(QStringLiteral("/run/media/u/USB/")));
        QCOMPARE(roots.last().label, QStringLiteral("USB vfat"));
    }

    void a_container_root_on_overlay_is_kept()
    {
        const QList<Root> roots =
            roots_from_mounts(QStringLiteral("/root"), {{"/", "overlay", ""}});
        QCOMPARE(roots.size(), 2);
        QCOMPARE(roots[1].path, Path(QStringLiteral("/")));
    }

    void this_machine_lists_home_first()
    {
        const QList<Root> roots = MountRootProvider().roots();
        QVERIFY(!roots.isEmpty());
        QCOMPARE(roots.front().path, Path(QDir::homePath() + QLatin1Char('/')));
        for (const Root& r : roots) {
            QVERIFY(r.path.ends_with_separator());
            QVERIFY2(!r.path.text().startsWith(QStringLiteral("/proc")), qPrintable(r.path.text()));
        }
    }
};

QTEST_GUILESS_MAIN(TestMountRoots)
#include "tst_mount_roots.moc"
