// SPDX-License-Identifier: GPL-3.0-or-later
// Roots of a Linux desktop: the home folder, then the mounted file systems a user browses.
#pragma once

#include "ports/roots.h"

namespace pelmora {

struct MountInfo
{
    QString mountPoint;
    QString fileSystemType;
    QString volumeName;
};

// Picks the browsable mounts, home first; kept apart from the system query so it can be tested.
QList<Root> roots_from_mounts(const QString& home, const QList<MountInfo>& mounts);

class MountRootProvider final : public RootProvider
{
public:
    QList<Root> roots() const override;
};

} // namespace pelmora
