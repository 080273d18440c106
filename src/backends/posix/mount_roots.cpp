// SPDX-License-Identifier: GPL-3.0-or-later
#include "backends/posix/mount_roots.h"

#include <QDir>
#include <QSet>
#include <QStorageInfo>
#include <algorithm>

namespace pelmora {
namespace {

// Kernel and system file systems no user browses for documents.
const QSet<QString>& pseudo_types()
{
    static const QSet<QString> types{
        QStringLiteral("proc"),
        QStringLiteral("sysfs"),
        QStringLiteral("devtmpfs"),
        QStringLiteral("devpts"),
        QStringLiteral("cgroup"),
        QStringLiteral("cgroup2"),
        QStringLiteral("securityfs"),
        QStringLiteral("pstore"),
        QStringLiteral("bpf"),
        QStringLiteral("tracefs"),
        QStringLiteral("debugfs"),
        QStringLiteral("mqueue"),
        QStringLiteral("hugetlbfs"),
        QStringLiteral("configfs"),
        QStringLiteral("fusectl"),
        QStringLiteral("autofs"),
        QStringLiteral("binfmt_misc"),
        QStringLiteral("efivarfs"),
        QStringLiteral("rpc_pipefs"),
        QStringLiteral("nsfs"),
        QStringLiteral("ramfs"),
        QStringLiteral("squashfs"),
        QStringLiteral("selinuxfs"),
        QStringLiteral("fuse.portal"),
        QStringLiteral("fuse.gvfsd-fuse"),
    };
    return types;
}

bool under(const QString& path, const QString& folder)
{
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

bool browsable(const MountInfo& m)
{
    const QString& p = m.mountPoint;
    if (p.isEmpty() || pseudo_types().contains(m.fileSystemType))
        return false;
    if (p == QLatin1String("/"))
        return true;
    // Removable media that udisks mounts below /run/media stay; the rest of /run, /proc,
    // /sys and /dev is the system's own.
    if (under(p, QStringLiteral("/run/media")))
        return true;
    for (const auto* sys : {"/proc", "/sys", "/dev", "/run", "/boot/efi", "/snap"}) {
        if (under(p, QLatin1String(sys)))
            return false;
    }
    // Container layers and their internals are not places for documents.
    if (m.fileSystemType == QLatin1String("overlay") || p.contains(QLatin1String("/docker/")) ||
        p.contains(QLatin1String("/containers/")))
        return false;
    return true;
}

QString with_slash(QString p)
{
    if (!p.endsWith(QLatin1Char('/')))
        p += QLatin1Char('/');
    return p;
}

} // namespace

QList<Root> roots_from_mounts(const QString& home, const QList<MountInfo>& mounts)
{
    QList<Root> result;
    result.append(Root{Path(with_slash(QDir::cleanPath(home))), QStringLiteral("ホーム")});
    QList<MountInfo> kept;
    for (const MountInfo& m : mounts) {
        if (browsable(m))
            kept.append(m);
    }
    std::sort(kept.begin(), kept.end(),
              [](const MountInfo& a, const MountInfo& b) { return a.mountPoint < b.mountPoint; });
    QSet<QString> seen;
    for (const MountInfo& m : kept) {
        const QString path = with_slash(QDir::cleanPath(m.mountPoint));
        if (seen.contains(path))
            continue;
        seen.insert(path);
        const QString label = m.volumeName.isEmpty()
                                  ? m.fileSystemType
                                  : m.volumeName + QLatin1Char(' ') + m.fileSystemType;
        result.append(Root{Path(path), label});
    }
    return result;
}

QList<Root> MountRootProvider::roots() const
{
    QList<MountInfo> mounts;
    for (const QStorageInfo& s : QStorageInfo::mountedVolumes()) {
        if (!s.isValid())
            continue;
        mounts.append(MountInfo{s.rootPath(), QString::fromLatin1(s.fileSystemType()), s.name()});
    }
    return roots_from_mounts(QDir::homePath(), mounts);
}

} // namespace pelmora
