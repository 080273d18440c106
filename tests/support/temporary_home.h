// SPDX-License-Identifier: GPL-3.0-or-later
// Points the home folder and the trash of a test program below a temporary folder, so no test
// ever touches the real home or trash.
#pragma once

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace pelmora::test {

inline void use_temporary_home(const QTemporaryDir& home)
{
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/share")));
    QStandardPaths::setTestModeEnabled(true);
}

} // namespace pelmora::test
