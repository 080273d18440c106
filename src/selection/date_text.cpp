// SPDX-License-Identifier: GPL-3.0-or-later
#include "selection/date_text.h"

namespace pelmora {

QString general_date_text(const QDateTime& t)
{
    const QString date = t.date().toString(QStringLiteral("yyyy/MM/dd"));
    if (t.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + t.time().toString(QStringLiteral("H:mm:ss"));
}

} // namespace pelmora
