#include "command_line.h"

#include <QCommandLineParser>
#include <QJsonArray>

namespace {
constexpr int TileCount = 336;
constexpr int SlotsPerLink = 42;
constexpr int LinkCount = 8;

using command_line::Text;

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

struct Options {
    QCommandLineOption dir{QStringLiteral("dir"),
                           Text::tr("The directory of the program's stores (default: that of "
                                    "the program beside hubrixctl)."),
                           QStringLiteral("DIR")};
    QCommandLineOption json{QStringLiteral("json"),
                            Text::tr("Print the program's replies as JSON, one per line.")};
    QCommandLineOption timeout{
        QStringLiteral("timeout"),
        Text::tr("on, off, toggle, cycle: how long to wait for each echo (default 1000)."),
        QStringLiteral("MS")};
    QCommandLineOption offMs{QStringLiteral("off-ms"),
                             Text::tr("cycle: how long the tiles stay off (default 2000)."),
                             QStringLiteral("MS")};
    QCommandLineOption deadline{
        QStringLiteral("deadline"),
        Text::tr("Give up when the program has sent nothing for MS milliseconds (default 5000)."),
        QStringLiteral("MS")};
    QCommandLineOption yes{QStringLiteral("yes"),
                           Text::tr("disconnect: answer the window's question with yes.")};
};

// The parser with every option; help and version are answered by the caller.
void describe(QCommandLineParser& parser, const Options& options) {
    parser.setApplicationDescription(Text::tr(
        "Drives a running Hubrix from scripts.\n"
        "\n"
        "Commands:\n"
        "  status                 links, tiles on, awaited or unconfirmed\n"
        "  get TILES              each tile on, off, unknown or not connected\n"
        "  on TILES               switch tiles on and wait for the echoes\n"
        "  off TILES              switch tiles off and wait for the echoes\n"
        "  toggle TILES           switch each tile the other way\n"
        "  cycle TILES            off, wait, on; each confirmed\n"
        "  remark TILE [TEXT]     print or set a tile's remark\n"
        "  find TEXT              tiles whose remarks hold TEXT\n"
        "  events                 follow what happens, one line per event\n"
        "  connect                query the serial ports and connect the boards\n"
        "  disconnect             disconnect the boards\n"
        "\n"
        "TILES: 5 | 1-42 | 5,9,100-105 | link:K | @TEXT (the tiles whose remark is TEXT)\n"
        "Exit status: 0 done, 1 not all done, 2 no program, 3 no answer, 4 refused, 64 usage."));
    parser.addOptions(
        {options.dir, options.json, options.timeout, options.offMs, options.deadline, options.yes});
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), Text::tr("What to do."),
                                 QStringLiteral("COMMAND [ARGUMENTS]"));
}

bool takesTiles(const QString& command) {
    return command == QLatin1String("get") || command == QLatin1String("on") ||
           command == QLatin1String("off") || command == QLatin1String("toggle") ||
           command == QLatin1String("cycle");
}

// The command's arguments into request; an error text when they do not fit it.
QString fill(const QString& command, const QStringList& words, QJsonObject& request) {
    if (command == QLatin1String("status") || command == QLatin1String("events") ||
        command == QLatin1String("connect") || command == QLatin1String("disconnect")) {
        return words.isEmpty() ? QString() : Text::tr("%1 takes no arguments").arg(command);
    }
    if (takesTiles(command)) {
        if (words.size() != 1)
            return Text::tr("%1 takes one TILES argument").arg(command);
        if (words[0].startsWith(u'@')) {
            if (words[0].size() == 1)
                return Text::tr("@ needs the remark to look for");
            request.insert(QStringLiteral("name"), words[0].mid(1));
            return {};
        }
        const auto tiles = command_line::parseTiles(words[0]);
        if (!tiles)
            return Text::tr("not a tile list: %1").arg(words[0]);
        QJsonArray list;
        for (int tile : *tiles)
            list.append(tile);
        request.insert(QStringLiteral("tiles"), list);
        return {};
    }
    if (command == QLatin1String("remark")) {
        if (words.isEmpty() || words.size() > 2)
            return Text::tr("remark takes a tile and, to set it, a text");
        const auto tile = number(words[0]);
        if (!tile || !isTile(*tile))
            return Text::tr("not a tile: %1").arg(words[0]);
        request.insert(QStringLiteral("tile"), *tile);
        if (words.size() == 2)
            request.insert(QStringLiteral("text"), words[1]);
        return {};
    }
    if (command == QLatin1String("find")) {
        if (words.size() != 1)
            return Text::tr("find takes one text");
        request.insert(QStringLiteral("text"), words[0]);
        return {};
    }
    return Text::tr("unknown command %1").arg(command);
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
    const auto fail = [error](const QString& text) {
        *error = text;
        return std::nullopt;
    };
    QCommandLineParser parser;
    const Options options;
    describe(parser, options);
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    Invocation invocation;
    const bool help =
        parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"));
    if (help || parser.isSet(QStringLiteral("version"))) {
        invocation.ask = help ? Invocation::Ask::Help : Invocation::Ask::Version;
        return invocation;
    }
    QStringList words = parser.positionalArguments();
    if (words.isEmpty())
        return fail(Text::tr("no command"));
    const QString command = words.takeFirst();
    QJsonObject& request = invocation.request;
    request.insert(QStringLiteral("cmd"), command);
    const QString wrong = fill(command, words, request);
    if (!wrong.isEmpty())
        return fail(wrong);

    const bool switches = takesTiles(command) && command != QLatin1String("get");
    if ((parser.isSet(options.timeout) && !switches) ||
        (parser.isSet(options.offMs) && command != QLatin1String("cycle")))
        return fail(Text::tr("--timeout belongs to on, off, toggle and cycle, --off-ms to cycle"));
    if (parser.isSet(options.yes) && command != QLatin1String("disconnect"))
        return fail(Text::tr("--yes belongs to disconnect"));
    for (const auto& [option, key] : {std::pair{&options.timeout, QStringLiteral("timeoutMs")},
                                      std::pair{&options.offMs, QStringLiteral("offMs")},
                                      std::pair{&options.deadline, QString()}}) {
        if (!parser.isSet(*option))
            continue;
        const QString value = parser.value(*option);
        const auto ms = number(value);
        if (!ms || (key.isEmpty() && *ms < 1))
            return fail(
                Text::tr("--%1 takes milliseconds, not %2").arg(option->names().first(), value));
        if (key.isEmpty())
            invocation.deadlineMs = *ms;
        else
            request.insert(key, *ms);
    }
    if (command == QLatin1String("disconnect"))
        request.insert(QStringLiteral("yes"), parser.isSet(options.yes));
    invocation.json = parser.isSet(options.json);
    invocation.programDir = parser.value(options.dir);
    return invocation;
}

QString usage() {
    QCommandLineParser parser;
    const Options options;
    describe(parser, options);
    return parser.helpText();
}

} // namespace command_line
