// SPDX-License-Identifier: GPL-3.0-or-later
// Dates as the preview labels show them: the general date form, yyyy/MM/dd H:mm:ss, with the
// time left out when it is exactly midnight.
#pragma once

#include <QDateTime>
#include <QString>

namespace pelmora {

QString general_date_text(const QDateTime& t);

} // namespace pelmora
