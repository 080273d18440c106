#include "fileops/lha_update.h"

#include "fileops/shell_helpers.h"
#include "lzh/unlha.h"

#include <array>

namespace pelmora {

QString lha_command_line(const QString& archive, const QString& base, const QString& files)
{
    const QChar sp(u' ');
    return QStringLiteral("u") + sp + kLhaSwitches + sp + quote_if_needed(archive) + sp +
           quote_if_needed(trimmed_with_backslash(base)) + sp + quote_if_needed(files) + sp;
}

bool lha_update(quintptr owner, const QString& archive, const QString& base, const QString& files)
{
    const QByteArray line = lha_command_line(archive, base, files).toUtf8();
    std::array<char, 1024> output{};
    return Unlha(owner, line.constData(), output.data(), std::uint32_t(output.size())) == 0;
}

} // namespace pelmora
