// The line break of message texts and list files.
#pragma once

#include <QString>

namespace pelmora {

inline const QString kCrLf = QStringLiteral("\r\n");

} // namespace pelmora
