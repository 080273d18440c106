// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/lha_update.h"

#include "base/native_path.h"
#include "fileops/shell_helpers.h"
#include "ports/archiver.h"

namespace pelmora {

QString lha_command_line(const QString& archive, const QString& base, const QString& files)
{
    const QChar sp(u' ');
    return QStringLiteral("u") + sp + kLhaSwitches + sp + quote_if_needed(archive) + sp +
           quote_if_needed(trimmed_with_backslash(base)) + sp + quote_if_needed(files) + sp;
}

bool lha_update(Archiver& archiver, const Path& archive, const Path& list_file, int from, int into)
{
    QByteArray report;
    // The command line is text with the paths' escapes in it; its bytes carry each path's own.
    const QString line =
        lha_command_line(archive.text(), QString(), QStringLiteral("@") + list_file.text());
    return archiver.run_into(native_path::to_native(line), from, into, report) == 0;
}

} // namespace pelmora
