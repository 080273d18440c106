// SPDX-License-Identifier: GPL-3.0-or-later
#include "lzh/command_line.h"

#include <array>
#include <vector>

namespace pelmora {
namespace {

struct Token
{
    QByteArray text;
    bool quoted = false;
};

using Tokens = std::vector<Token>;

// Only the switches our compression command sends are accepted: anything else
// asks for behaviour this archiver does not have, and guessing would be worse
// than refusing.
bool knownSwitch(const QByteArray& s)
{
    static const std::array<QByteArray, 5> known = {"-a1", "-r2", "-l1", "-jp1", "-o2"};
    for (const QByteArray& k : known)
        if (s == k)
            return true;
    return false;
}

bool isBaseToken(const Token& t)
{
    return t.text.isEmpty() || t.text.endsWith('\\') || t.text.endsWith('/');
}

// Every way to cut `line` from `i` into tokens, each quoted token closing at
// one of the quotes that are followed by a space or the end. `visit` returns
// true to stop.
template <typename Visit>
bool splits(const QByteArray& line, qsizetype i, Tokens& acc, Visit&& visit, int& budget)
{
    const qsizetype n = line.size();
    while (i < n && line[i] == ' ')
        ++i;
    if (i >= n)
        return visit(acc);
    if (--budget < 0)
        return true;
    if (line[i] == '"') {
        for (qsizetype close = i + 1; close < n; ++close) {
            if (line[close] != '"' || (close + 1 != n && line[close + 1] != ' '))
                continue;
            acc.push_back({line.mid(i + 1, close - i - 1), true});
            const bool stop = splits(line, close + 1, acc, visit, budget);
            acc.pop_back();
            if (stop)
                return true;
        }
        return false;
    }
    qsizetype end = line.indexOf(' ', i);
    if (end < 0)
        end = n;
    acc.push_back({line.mid(i, end - i), false});
    const bool stop = splits(line, end, acc, visit, budget);
    acc.pop_back();
    return stop;
}

// Archive, optional base folder, then at least one file or "@list" token.
std::optional<ArchiverCommand> shape(const Tokens& t, ArchiverCommand cmd, QString& why)
{
    std::size_t i = 0;
    if (i >= t.size() || t[i].text.isEmpty()) {
        why = QStringLiteral("書庫名がありません");
        return std::nullopt;
    }
    cmd.archive = t[i++].text;
    if (i < t.size() && isBaseToken(t[i])) {
        QByteArray base = t[i++].text;
        while (base.endsWith('\\'))
            base.chop(1);
        cmd.base = base;
    }
    for (; i < t.size(); ++i) {
        const QByteArray& s = t[i].text;
        if (s.startsWith('@')) {
            if (s.size() == 1) {
                why = QStringLiteral("リストファイル名がありません");
                return std::nullopt;
            }
            cmd.listFiles << s.mid(1);
        } else if (!s.isEmpty()) {
            cmd.files << s;
        }
    }
    if (cmd.listFiles.isEmpty() && cmd.files.isEmpty()) {
        why = QStringLiteral("圧縮するファイルの指定がありません");
        return std::nullopt;
    }
    return cmd;
}

} // namespace

std::optional<ArchiverCommand> parse_archiver_command_line(std::string_view text, QString& why)
{
    const QByteArray line(text.data(), static_cast<qsizetype>(text.size()));
    if (line.contains('\0')) {
        why = QStringLiteral("コマンドラインに NUL 文字があります");
        return std::nullopt;
    }
    ArchiverCommand head;
    qsizetype i = 0;
    auto nextPlain = [&]() {
        while (i < line.size() && line[i] == ' ')
            ++i;
        qsizetype end = line.indexOf(' ', i);
        if (end < 0)
            end = line.size();
        const QByteArray t = line.mid(i, end - i);
        return std::pair{t, end};
    };
    {
        const auto [t, end] = nextPlain();
        if (t.isEmpty()) {
            why = QStringLiteral("コマンドがありません");
            return std::nullopt;
        }
        head.command = t;
        i = end;
    }
    for (;;) {
        const auto [t, end] = nextPlain();
        if (!t.startsWith('-'))
            break;
        if (!knownSwitch(t)) {
            why = QStringLiteral("未対応のスイッチです: ") + QString::fromUtf8(t);
            return std::nullopt;
        }
        head.switches << t;
        i = end;
    }

    // Our caller always sends a base folder and a list file; among the splits
    // that read as a command, those with both win, then the one with fewest
    // tokens.
    std::optional<ArchiverCommand> best;
    std::size_t bestScore = 0;
    QString firstWhy;
    bool closed = false;
    Tokens acc;
    int budget = 4096; // quotes are few; this only bounds a hostile line
    splits(
        line, i, acc,
        [&](const Tokens& t) {
            closed = true;
            QString w;
            auto cmd = shape(t, head, w);
            if (!cmd) {
                if (firstWhy.isEmpty())
                    firstWhy = w;
            } else {
                const std::size_t score = (t.size() > 1 && isBaseToken(t[1]) ? 0 : 2000) +
                                          (cmd->listFiles.isEmpty() ? 1000 : 0) + t.size();
                if (!best || score < bestScore) {
                    best = std::move(cmd);
                    bestScore = score;
                }
            }
            return false;
        },
        budget);
    if (best)
        return best;
    why = closed ? firstWhy : QStringLiteral("閉じていない引用符があります");
    return std::nullopt;
}

} // namespace pelmora
