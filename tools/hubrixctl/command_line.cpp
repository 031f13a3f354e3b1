#include "command_line.h"

#include <QJsonArray>

namespace {
constexpr int TileCount = 336;
constexpr int SlotsPerLink = 42;
constexpr int LinkCount = 8;

// A decimal number of digits only, no sign or blanks.
std::optional<int> number(const QString& text) {
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    return text.toInt();
}

bool isTile(int n) {
    return n >= 1 && n <= TileCount;
}
} // namespace

namespace command_line {

std::optional<QList<int>> parseTiles(const QString& text) {
    QList<int> tiles;
    const auto add = [&tiles](int tile) {
        if (!tiles.contains(tile))
            tiles.append(tile);
    };
    if (text.startsWith(QLatin1String("link:"))) {
        const auto link = number(text.mid(5));
        if (!link || *link < 1 || *link > LinkCount)
            return std::nullopt;
        for (int slot = 1; slot <= SlotsPerLink; ++slot)
            add((*link - 1) * SlotsPerLink + slot);
        return tiles;
    }
    for (const QString& part : text.split(u',')) {
        const qsizetype dash = part.indexOf(u'-');
        const auto first = number(dash < 0 ? part : part.left(dash));
        const auto last = dash < 0 ? first : number(part.mid(dash + 1));
        if (!first || !last || !isTile(*first) || !isTile(*last) || *last < *first)
            return std::nullopt;
        for (int tile = *first; tile <= *last; ++tile)
            add(tile);
    }
    return tiles;
}

std::optional<Invocation> parse(const QStringList& arguments, QString* error) {
    Invocation invocation;
    QStringList words;
    std::optional<int> timeoutMs;
    std::optional<int> offMs;
    const auto fail = [error](const QString& text) {
        *error = text;
        return std::nullopt;
    };
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        // After "--" a remark may start with dashes.
        if (optionsEnded || !argument.startsWith(QLatin1String("--"))) {
            words.append(argument);
            continue;
        }
        const bool takesValue = argument == QLatin1String("--dir") ||
                                argument == QLatin1String("--timeout") ||
                                argument == QLatin1String("--off-ms");
        if (argument == QLatin1String("--json")) {
            invocation.json = true;
        } else if (takesValue) {
            if (i + 1 >= arguments.size())
                return fail(argument + QStringLiteral(" needs a value"));
            const QString value = arguments[++i];
            if (argument == QLatin1String("--dir")) {
                invocation.programDir = value;
                continue;
            }
            const auto ms = number(value);
            if (!ms)
                return fail(argument + QStringLiteral(" takes milliseconds, not ") + value);
            (argument == QLatin1String("--timeout") ? timeoutMs : offMs) = ms;
        } else if (argument == QLatin1String("--")) {
            optionsEnded = true;
        } else {
            return fail(QStringLiteral("unknown option ") + argument);
        }
    }
    if (words.isEmpty())
        return fail(QStringLiteral("no command"));
    const QString command = words.takeFirst();
    QJsonObject& request = invocation.request;
    request.insert(QStringLiteral("cmd"), command);
    const bool switches = command == QLatin1String("on") || command == QLatin1String("off") ||
                          command == QLatin1String("cycle");
    if ((timeoutMs && !switches) || (offMs && command != QLatin1String("cycle")))
        return fail(QStringLiteral("--timeout and --off-ms belong to on, off and cycle"));
    if (command == QLatin1String("status") || command == QLatin1String("events")) {
        if (!words.isEmpty())
            return fail(command + QStringLiteral(" takes no arguments"));
    } else if (switches) {
        if (words.size() != 1)
            return fail(command + QStringLiteral(" takes one TILES argument"));
        const auto tiles = parseTiles(words[0]);
        if (!tiles)
            return fail(QStringLiteral("not a tile list: ") + words[0]);
        QJsonArray list;
        for (int tile : *tiles)
            list.append(tile);
        request.insert(QStringLiteral("tiles"), list);
        if (timeoutMs)
            request.insert(QStringLiteral("timeoutMs"), *timeoutMs);
        if (offMs)
            request.insert(QStringLiteral("offMs"), *offMs);
    } else if (command == QLatin1String("remark")) {
        if (words.isEmpty() || words.size() > 2)
            return fail(QStringLiteral("remark takes a tile and, to set it, a text"));
        const auto tile = number(words[0]);
        if (!tile || !isTile(*tile))
            return fail(QStringLiteral("not a tile: ") + words[0]);
        request.insert(QStringLiteral("tile"), *tile);
        if (words.size() == 2)
            request.insert(QStringLiteral("text"), words[1]);
    } else if (command == QLatin1String("find")) {
        if (words.size() != 1)
            return fail(QStringLiteral("find takes one text"));
        request.insert(QStringLiteral("text"), words[0]);
    } else {
        return fail(QStringLiteral("unknown command ") + command);
    }
    return invocation;
}

QString usage() {
    return QStringLiteral(
        "usage: hubrixctl [--dir DIR] COMMAND\n"
        "  status [--json]                      links, tiles on, awaited or unconfirmed\n"
        "  on TILES [--timeout MS]              switch tiles on, wait for the echoes\n"
        "  off TILES [--timeout MS]             switch tiles off, wait for the echoes\n"
        "  cycle TILES [--off-ms MS] [--timeout MS]\n"
        "                                       off, wait (2000 ms), on\n"
        "  remark TILE [TEXT]                   print or set a tile's remark\n"
        "  find TEXT                            tiles whose remarks hold TEXT\n"
        "  events [--json]                      follow what happens, one line per event\n"
        "TILES: 5 | 1-42 | 5,9,100-105 | link:K\n"
        "exit status: 0 done, 1 some tile not done, 2 no program running, 64 bad command line\n");
}

} // namespace command_line
