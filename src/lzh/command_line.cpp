#include "lzh/command_line.h"

#include <QStringDecoder>
#include <array>

namespace pelmora {
namespace {

struct Token
{
    QString text;
    bool quoted = false;
};

std::optional<std::vector<Token>> tokenize(const QString& line, QString& why)
{
    std::vector<Token> tokens;
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (i < n) {
        if (line[i] == u' ') {
            ++i;
            continue;
        }
        if (line[i] == u'"') {
            qsizetype close = i + 1;
            while (close < n &&
                   !(line[close] == u'"' && (close + 1 == n || line[close + 1] == u' ')))
                ++close;
            if (close >= n) {
                why = QStringLiteral("閉じていない引用符があります");
                return std::nullopt;
            }
            tokens.push_back({line.mid(i + 1, close - i - 1), true});
            i = close + 1;
            continue;
        }
        qsizetype end = line.indexOf(u' ', i);
        if (end < 0)
            end = n;
        tokens.push_back({line.mid(i, end - i), false});
        i = end;
    }
    return tokens;
}

// Only the switches our compression command sends are accepted: anything else
// asks for behaviour this archiver does not have, and guessing would be worse
// than refusing.
bool knownSwitch(const QString& s)
{
    static const std::array<QString, 5> known = {QStringLiteral("-a1"), QStringLiteral("-r2"),
                                                 QStringLiteral("-l1"), QStringLiteral("-jp1"),
                                                 QStringLiteral("-o2")};
    for (const QString& k : known)
        if (s == k)
            return true;
    return false;
}

bool isBaseToken(const Token& t)
{
    return t.text.isEmpty() || t.text.endsWith(u'\\') || t.text.endsWith(u'/');
}

} // namespace

std::optional<ArchiverCommand> parseCommandLine(std::string_view utf8, QString& why)
{
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString line = decode(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
    if (decode.hasError()) {
        why = QStringLiteral("コマンドラインが UTF-8 ではありません");
        return std::nullopt;
    }
    const auto tokens = tokenize(line, why);
    if (!tokens)
        return std::nullopt;

    ArchiverCommand cmd;
    std::size_t i = 0;
    if (tokens->empty()) {
        why = QStringLiteral("コマンドがありません");
        return std::nullopt;
    }
    cmd.command = (*tokens)[i++].text;
    for (; i < tokens->size() && !(*tokens)[i].quoted && (*tokens)[i].text.startsWith(u'-'); ++i) {
        if (!knownSwitch((*tokens)[i].text)) {
            why = QStringLiteral("未対応のスイッチです: ") + (*tokens)[i].text;
            return std::nullopt;
        }
        cmd.switches << (*tokens)[i].text;
    }
    if (i >= tokens->size() || (*tokens)[i].text.isEmpty()) {
        why = QStringLiteral("書庫名がありません");
        return std::nullopt;
    }
    cmd.archive = (*tokens)[i++].text;
    if (i < tokens->size() && isBaseToken((*tokens)[i])) {
        QString base = (*tokens)[i++].text;
        while (base.endsWith(u'\\'))
            base.chop(1);
        cmd.base = base;
    }
    for (; i < tokens->size(); ++i) {
        const QString& t = (*tokens)[i].text;
        if (t.startsWith(u'@')) {
            if (t.size() == 1) {
                why = QStringLiteral("リストファイル名がありません");
                return std::nullopt;
            }
            cmd.listFiles << t.mid(1);
        } else if (!t.isEmpty()) {
            cmd.files << t;
        }
    }
    if (cmd.listFiles.isEmpty() && cmd.files.isEmpty()) {
        why = QStringLiteral("圧縮するファイルの指定がありません");
        return std::nullopt;
    }
    return cmd;
}

} // namespace pelmora
