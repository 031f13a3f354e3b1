#include "script/script_requests.h"

#include "rack/rack_model.h"
#include "script/echo_wait.h"
#include "state/context.h"
#include "tiles/power_cycle.h"
#include "tiles/tile_switches.h"

#include <QJsonArray>
#include <QPointer>

#include <optional>

namespace {
constexpr int DefaultTimeoutMs = 1000;
const QString NotKept = QStringLiteral("开关状态无法保存");

// Tile numbers 1 ... 336, at least one, each once and in the order given; none when the value
// is anything else.
std::optional<QList<int>> tileList(const QJsonValue& value) {
    if (!value.isArray() || value.toArray().isEmpty())
        return std::nullopt;
    QList<int> tiles;
    for (const QJsonValue& each : value.toArray()) {
        const double number = each.toDouble(-1);
        if (!each.isDouble() || number != int(number) || number < 1 || number > TileCount)
            return std::nullopt;
        if (!tiles.contains(int(number)))
            tiles.append(int(number));
    }
    return tiles;
}

// A whole number of milliseconds in 0 ... max; fallback when absent, none when invalid.
std::optional<int> milliseconds(const QJsonObject& request, const QString& key, int fallback,
                                int max) {
    if (!request.contains(key))
        return fallback;
    const QJsonValue value = request.value(key);
    const double number = value.toDouble(-1);
    if (!value.isDouble() || number != int(number) || number < 0 || number > max)
        return std::nullopt;
    return int(number);
}

QJsonObject tileResult(int tile, const QString& result, const QString& text = {}) {
    QJsonObject line{{QStringLiteral("tile"), tile}, {QStringLiteral("result"), result}};
    if (!text.isEmpty())
        line.insert(QStringLiteral("text"), text);
    return line;
}

QJsonObject refusalResult(int tile, const ScriptCommands::Refusal& refused) {
    return tileResult(tile, refused.result, refused.prompt);
}
} // namespace

QJsonObject ScriptRequests::failure(const QString& text) {
    return QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), text}};
}

void ScriptRequests::run(const QJsonObject& request, QObject* owner, const Reply& reply) {
    const QString command = request.value(QStringLiteral("cmd")).toString();
    const auto tiles = tileList(request.value(QStringLiteral("tiles")));
    const auto timeout =
        milliseconds(request, QStringLiteral("timeoutMs"), DefaultTimeoutMs, 600'000);
    if (command == QLatin1String("status")) {
        reply(commands_.status());
    } else if (command == QLatin1String("on") || command == QLatin1String("off")) {
        if (!tiles || !timeout)
            reply(failure(QStringLiteral("malformed request: tiles or timeoutMs")));
        else
            switchTiles(owner, reply, *tiles, command == QLatin1String("on"), *timeout);
    } else if (command == QLatin1String("cycle")) {
        const auto offMs =
            milliseconds(request, QStringLiteral("offMs"), PowerCycle::DefaultOffMs, 3'600'000);
        if (!tiles || !timeout || !offMs)
            reply(failure(QStringLiteral("malformed request: tiles, offMs or timeoutMs")));
        else
            cycleTiles(owner, reply, *tiles, *offMs, *timeout);
    } else if (command == QLatin1String("remark")) {
        const auto tile = tileList(QJsonArray{request.value(QStringLiteral("tile"))});
        const QJsonValue text = request.value(QStringLiteral("text"));
        if (!tile || !(text.isUndefined() || text.isString()))
            reply(failure(QStringLiteral("malformed request: tile or text")));
        else if (text.isUndefined())
            reply(commands_.remark(tile->first()));
        else
            reply(commands_.setRemark(tile->first(), text.toString()));
    } else if (command == QLatin1String("find")) {
        const QJsonValue text = request.value(QStringLiteral("text"));
        if (!text.isString())
            reply(failure(QStringLiteral("malformed request: text")));
        else
            reply(commands_.find(text.toString()));
    } else {
        reply(failure(QStringLiteral("malformed request: unknown cmd")));
    }
}

// Tiles that cannot be switched now are answered at once with what a click would be told;
// the others are switched together, and the reply waits for their echoes. A tile that is
// unknown is switched too: only an echo tells which way its slot is.
void ScriptRequests::switchTiles(QObject* owner, const Reply& reply, const QList<int>& tiles,
                                 bool on, int timeoutMs) {
    auto* wait = new EchoWait(context_.events, owner);
    QMap<int, QJsonObject> settled;
    QList<int> switched;
    const SlotState wanted = on ? SlotState::On : SlotState::Off;
    for (int tile : tiles) {
        if (const auto refused = commands_.refusal(tile)) {
            settled.insert(tile, refusalResult(tile, *refused));
        } else if (context_.rack.state(tile) == wanted) {
            settled.insert(tile, tileResult(tile, QStringLiteral("confirmed")));
        } else {
            wait->expect(tile, on);
            switched.append(tile);
        }
    }
    if (!switched.isEmpty() &&
        !TileSwitches(context_).send(switched, on, RackEvents::Cause::Script)) {
        delete wait;
        wait = new EchoWait(context_.events, owner);
        for (int tile : switched)
            settled.insert(tile, tileResult(tile, QStringLiteral("refused"), NotKept));
    }
    reportWhenEchoed(wait, reply, tiles, settled, timeoutMs);
}

// Tiles that cannot be switched are answered at once; the others go off if they are on, stay
// off for offMs, each on a timer of its own, and come back on; the reply waits for the echoes.
void ScriptRequests::cycleTiles(QObject* owner, const Reply& reply, const QList<int>& tiles,
                                int offMs, int timeoutMs) {
    auto* wait = new EchoWait(context_.events, owner);
    QMap<int, QJsonObject> settled;
    QList<int> cycled;
    for (int tile : tiles) {
        if (const auto refused = commands_.refusal(tile)) {
            settled.insert(tile, refusalResult(tile, *refused));
            continue;
        }
        if (context_.state.powerCycles.contains(tile)) {
            settled.insert(
                tile, tileResult(tile, QStringLiteral("refused"), QStringLiteral("正在断电重启")));
            continue;
        }
        if (context_.rack.state(tile) == SlotState::On)
            wait->expect(tile, false);
        wait->expect(tile, true);
        cycled.append(tile);
    }
    PowerCycle(context_).cycle(cycled, offMs, RackEvents::Cause::Script);
    reportWhenEchoed(wait, reply, tiles, settled, offMs + timeoutMs);
}

void ScriptRequests::reportWhenEchoed(EchoWait* wait, const Reply& reply, const QList<int>& tiles,
                                      QMap<int, QJsonObject> settled, int timeoutMs) {
    const RackModel& rack = context_.rack;
    wait->finish(timeoutMs, [&rack, reply, tiles, settled](const QSet<int>& missing,
                                                           const QMap<int, QString>& cutShort) {
        bool ok = true;
        QJsonArray results;
        for (int tile : tiles) {
            QJsonObject result = settled.value(tile);
            if (!result.isEmpty()) {
            } else if (cutShort.contains(tile)) {
                result = tileResult(tile, QStringLiteral("cut short"), cutShort.value(tile));
            } else if (missing.contains(tile)) {
                result = tileResult(tile, QStringLiteral("unconfirmed"));
            } else {
                result = tileResult(tile, QStringLiteral("confirmed"),
                                    rack.isUnkept(tile) ? NotKept : QString());
            }
            ok = ok && result.value(QStringLiteral("result")) == QStringLiteral("confirmed");
            results.append(result);
        }
        reply(QJsonObject{{QStringLiteral("ok"), ok}, {QStringLiteral("tiles"), results}});
    });
}
