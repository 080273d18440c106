// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/command_line.h"

namespace pelmora {

namespace {

const QString usage_line = QStringLiteral("使い方: pelmora [--help | --version]\n");

} // namespace

CommandLineAction parse_command_line(const QStringList& arguments)
{
    CommandLineAction action;
    if (arguments.isEmpty()) {
        action.open_window = true;
        return action;
    }
    if (arguments.size() == 1 && arguments.front() == QLatin1String("--version")) {
        action.output = QStringLiteral("pelmora " PELMORA_VERSION "\n");
        return action;
    }
    if (arguments.size() == 1 && arguments.front() == QLatin1String("--help")) {
        action.output =
            usage_line + QStringLiteral("Excel と Word の文書を探して管理するウィンドウを開きます。"
                                        "操作はすべてウィンドウで行います。\n"
                                        "\n"
                                        "  --help     この説明を表示して終了する\n"
                                        "  --version  版数を表示して終了する\n");
        return action;
    }
    action.output = QStringLiteral("pelmora: 使えない引数です: %1\n").arg(arguments.front()) +
                    usage_line + QStringLiteral("詳しくは pelmora --help を参照してください。\n");
    action.to_stderr = true;
    action.exit_code = 2;
    return action;
}

} // namespace pelmora
