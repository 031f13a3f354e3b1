#include "replies.h"

#include "command_line.h"

#include <QJsonArray>

#include <algorithm>

namespace {
using command_line::Text;

QString string(const QJsonObject& object, const char* key) {
    return object.value(QLatin1String(key)).toString();
}

int integer(const QJsonObject& object, const char* key) {
    return object.value(QLatin1String(key)).toInt();
}

QJsonArray array(const QJsonObject& object, const char* key) {
    return object.value(QLatin1String(key)).toArray();
}

void printStatus(const QJsonObject& reply, QTextStream& out) {
    out << "directory " << string(reply, "programDir") << '\n';
    for (const QJsonValue& value : array(reply, "links")) {
        const QJsonObject link = value.toObject();
        const QString bound = string(link, "boundDeviceNumber");
        out << "link " << integer(link, "link");
        if (link.value(QLatin1String("found")).toBool())
            out << " found device " << string(link, "deviceNumber") << " port "
                << integer(link, "port");
        else
            out << " not found";
        out << " bound " << (bound.isEmpty() ? QStringLiteral("-") : bound) << '\n';
    }
    for (const char* kind : {"on", "awaited", "unconfirmed"}) {
        for (const QJsonValue& tile : array(reply, kind))
            out << "tile " << tile.toInt() << ' ' << kind << '\n';
    }
}

void printLinks(const QJsonObject& reply, QTextStream& out) {
    for (const QJsonValue& value : array(reply, "links")) {
        const QJsonObject link = value.toObject();
        out << "link " << integer(link, "link");
        if (link.value(QLatin1String("found")).toBool())
            out << " found device " << string(link, "deviceNumber") << " port "
                << integer(link, "port") << '\n';
        else
            out << " not found\n";
    }
}

// "tile N WORD[: TEXT]", the word being a switch's result or a tile's state.
void printTiles(const QJsonObject& reply, const char* word, QTextStream& out) {
    for (const QJsonValue& value : array(reply, "tiles")) {
        const QJsonObject tile = value.toObject();
        out << "tile " << integer(tile, "tile") << ' ' << string(tile, word);
        const QString text = string(tile, "text");
        if (!text.isEmpty())
            out << ": " << text;
        out << '\n';
    }
}

bool allTiles(const QJsonObject& reply, const char* key, const QString& word) {
    const QJsonArray tiles = array(reply, "tiles");
    return std::all_of(tiles.begin(), tiles.end(), [key, &word](const QJsonValue& tile) {
        return string(tile.toObject(), key) == word;
    });
}

bool anyTile(const QJsonObject& reply, const QString& result) {
    const QJsonArray tiles = array(reply, "tiles");
    return std::any_of(tiles.begin(), tiles.end(), [&result](const QJsonValue& tile) {
        return string(tile.toObject(), "result") == result;
    });
}
} // namespace

namespace replies {

Status status(const QJsonObject& request, const QJsonObject& reply) {
    const QString command = string(request, "cmd");
    if (reply.value(QLatin1String("refused")).toBool())
        return Refused;
    if (reply.contains(QLatin1String("error")))
        return NotDone;
    if (command == QLatin1String("get"))
        return allTiles(reply, "state", QStringLiteral("on")) ? Done : NotDone;
    if (command == QLatin1String("find"))
        return array(reply, "tiles").isEmpty() ? NotDone : Done;
    if (command == QLatin1String("connect")) {
        const QJsonArray links = array(reply, "links");
        return std::any_of(links.begin(), links.end(),
                           [](const QJsonValue& link) {
                               return link.toObject().value(QLatin1String("found")).toBool();
                           })
                   ? Done
                   : NotDone;
    }
    if (anyTile(reply, QStringLiteral("refused")))
        return Refused;
    return reply.value(QLatin1String("ok")).toBool() ? Done : NotDone;
}

void print(const QJsonObject& request, const QJsonObject& reply, QTextStream& out,
           QTextStream& err) {
    const QString command = string(request, "cmd");
    const QString text =
        reply.contains(QLatin1String("error")) ? string(reply, "error") : string(reply, "text");
    if (reply.value(QLatin1String("noMatch")).toBool()) {
        err << "hubrixctl: "
            << Text::tr("no tile has the remark \"%1\"").arg(string(request, "name")) << '\n';
    } else if (reply.value(QLatin1String("refused")).toBool()) {
        err << "hubrixctl: " << Text::tr("refused: %1").arg(text) << '\n';
    } else if (reply.contains(QLatin1String("error"))) {
        err << "hubrixctl: " << text << '\n';
    } else if (command == QLatin1String("status")) {
        printStatus(reply, out);
    } else if (command == QLatin1String("get")) {
        printTiles(reply, "state", out);
    } else if (command == QLatin1String("remark")) {
        out << reply.value(QLatin1String("prompt")).toString(text) << '\n';
    } else if (command == QLatin1String("find")) {
        for (const QJsonValue& value : array(reply, "tiles")) {
            const QJsonObject hit = value.toObject();
            out << integer(hit, "tile") << ':' << string(hit, "text") << '\n';
        }
        if (array(reply, "tiles").isEmpty())
            err << "hubrixctl: " << Text::tr("no remark holds \"%1\"").arg(string(request, "text"))
                << '\n';
    } else if (command == QLatin1String("connect") || command == QLatin1String("disconnect")) {
        printLinks(reply, out);
        if (!text.isEmpty())
            out << text << '\n';
    } else {
        printTiles(reply, "result", out);
    }
}

void printEvent(const QJsonObject& event, QTextStream& out) {
    out << string(event, "time") << ' ' << string(event, "event");
    if (event.contains(QLatin1String("tile")))
        out << " tile " << integer(event, "tile")
            << (event.value(QLatin1String("on")).toBool() ? " on" : " off");
    if (event.contains(QLatin1String("link")))
        out << " link " << integer(event, "link");
    if (event.contains(QLatin1String("deviceNumber")))
        out << " device " << string(event, "deviceNumber") << " port " << integer(event, "port");
    if (event.contains(QLatin1String("text")))
        out << ' ' << string(event, "text");
    if (event.contains(QLatin1String("cause")))
        out << " by " << string(event, "cause");
    out << '\n';
}

} // namespace replies
