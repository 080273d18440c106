// SPDX-License-Identifier: GPL-3.0-or-later
// The line break of message texts and list files.
#pragma once

#include <QString>

namespace pelmora {

inline const QString kCrLf = QStringLiteral("\r\n");

} // namespace pelmora
