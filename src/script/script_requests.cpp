#include "script/script_requests.h"

#include "ops/connect_run.h"
#include "ops/disconnect.h"
#include "rack/rack_model.h"
#include "state/context.h"
#include "tiles/power_cycle.h"
#include "tiles/tile_switches.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QPointer>
#include <QTimer>

namespace {
constexpr int DefaultTimeoutMs = 1000;
constexpr int ProgressMs = 1000;
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

// reply, with a progress object every ProgressMs until the final reply goes out.
ScriptRequests::Reply withProgress(const QString& command, QObject* owner,
                                   const ScriptRequests::Reply& reply) {
    auto* beat = new QTimer(owner);
    QElapsedTimer clock;
    clock.start();
    QObject::connect(beat, &QTimer::timeout, beat, [reply, command, clock] {
        reply(QJsonObject{{QStringLiteral("progress"), command},
                          {QStringLiteral("waitedMs"), clock.elapsed()}});
    });
    beat->start(ProgressMs);
    return [alive = QPointer<QTimer>(beat), reply](const QJsonObject& final) {
        delete alive.data();
        reply(final);
    };
}
} // namespace

QJsonObject ScriptRequests::failure(const QString& text) {
    return QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), text}};
}

QJsonObject ScriptRequests::refusal(const QString& text) {
    QJsonObject refused = failure(text);
    refused.insert(QStringLiteral("refused"), true);
    return refused;
}

void ScriptRequests::run(const QJsonObject& request, QObject* owner, const Reply& reply) {
    const QString command = request.value(QStringLiteral("cmd")).toString();
    const Reply answer = withProgress(command, owner, reply);
    if (command == QLatin1String("status")) {
        answer(commands_.status());
    } else if (command == QLatin1String("get") || command == QLatin1String("on") ||
               command == QLatin1String("off") || command == QLatin1String("toggle") ||
               command == QLatin1String("cycle")) {
        runOnTiles(command, request, owner, answer);
    } else if (command == QLatin1String("remark")) {
        const auto tile = tileList(QJsonArray{request.value(QStringLiteral("tile"))});
        const QJsonValue text = request.value(QStringLiteral("text"));
        if (!tile || !(text.isUndefined() || text.isString()))
            answer(failure(QStringLiteral("malformed request: tile or text")));
        else if (text.isUndefined())
            answer(commands_.remark(tile->first()));
        else
            commands_.setRemark(tile->first(), text.toString(), answer);
    } else if (command == QLatin1String("connect")) {
        connect(answer);
    } else if (command == QLatin1String("disconnect")) {
        const QJsonValue yes = request.value(QStringLiteral("yes"));
        if (!yes.isUndefined() && !yes.isBool()) {
            answer(failure(QStringLiteral("malformed request: yes")));
        } else if (const auto refused = Disconnect(context_).disconnectForScript(yes.toBool())) {
            QJsonObject asked = refusal(*refused);
            asked.insert(QStringLiteral("text"), *refused);
            answer(asked);
        } else {
            answer(QJsonObject{{QStringLiteral("ok"), true}, {QStringLiteral("refused"), false}});
        }
    } else if (command == QLatin1String("find")) {
        const QJsonValue text = request.value(QStringLiteral("text"));
        if (!text.isString())
            answer(failure(QStringLiteral("malformed request: text")));
        else
            answer(commands_.find(text.toString()));
    } else {
        answer(failure(QStringLiteral("malformed request: unknown cmd")));
    }
}

// The run the connect button starts, in the link mode the binding gives; the reply goes out
// once it has ended, with the links it found.
void ScriptRequests::connect(const Reply& reply) {
    GlobalState& state = context_.state;
    if (state.connectRunsGoing > 0) {
        QJsonObject refused = refusal(QStringLiteral("设备正在连接，请稍后"));
        refused.insert(QStringLiteral("text"), QStringLiteral("设备正在连接，请稍后"));
        reply(refused);
        return;
    }
    state.scriptedRun = true;
    state.scriptedRunNote.clear();
    ConnectRun(context_).onConnectClicked();
    state.scriptedRun = false;
    const RackModel& rack = context_.rack;
    QJsonArray links;
    bool any = false;
    for (int k = 1; k <= LinkCount; ++k) {
        any = any || rack.isFound(k);
        links.append(QJsonObject{{QStringLiteral("link"), k},
                                 {QStringLiteral("found"), rack.isFound(k)},
                                 {QStringLiteral("port"), rack.port(k)},
                                 {QStringLiteral("deviceNumber"), rack.foundDevice(k)}});
    }
    QJsonObject answer{{QStringLiteral("ok"), any}, {QStringLiteral("links"), links}};
    if (!state.scriptedRunNote.isEmpty())
        answer.insert(QStringLiteral("text"), std::exchange(state.scriptedRunNote, {}));
    reply(answer);
}

std::optional<QList<int>> ScriptRequests::targets(const QJsonObject& request) const {
    if (!request.contains(QStringLiteral("name")))
        return tileList(request.value(QStringLiteral("tiles")));
    const QJsonValue name = request.value(QStringLiteral("name"));
    if (!name.isString() || name.toString().isEmpty() || request.contains(QStringLiteral("tiles")))
        return std::nullopt;
    return commands_.tilesNamed(name.toString());
}

void ScriptRequests::runOnTiles(const QString& command, const QJsonObject& request, QObject* owner,
                                const Reply& reply) {
    const auto tiles = targets(request);
    const auto timeout =
        milliseconds(request, QStringLiteral("timeoutMs"), DefaultTimeoutMs, 600'000);
    const auto offMs =
        milliseconds(request, QStringLiteral("offMs"), PowerCycle::DefaultOffMs, 3'600'000);
    if (!tiles || !timeout || !offMs) {
        reply(failure(QStringLiteral("malformed request: tiles, name, offMs or timeoutMs")));
    } else if (tiles->isEmpty()) {
        QJsonObject none = failure(QStringLiteral("no remark is ") +
                                   request.value(QStringLiteral("name")).toString());
        none.insert(QStringLiteral("noMatch"), true);
        reply(none);
    } else if (command == QLatin1String("get")) {
        reply(words(*tiles));
    } else if (command == QLatin1String("cycle")) {
        cycleTiles(owner, reply, *tiles, *offMs, *timeout);
    } else {
        const std::optional<bool> on = command == QLatin1String("toggle")
                                           ? std::nullopt
                                           : std::optional(command == QLatin1String("on"));
        switchTiles(owner, reply, *tiles, on, *timeout);
    }
}

QJsonObject ScriptRequests::words(const QList<int>& tiles) const {
    QJsonArray states;
    for (int tile : tiles) {
        states.append(QJsonObject{{QStringLiteral("tile"), tile},
                                  {QStringLiteral("state"), commands_.tileWord(tile)}});
    }
    return QJsonObject{{QStringLiteral("ok"), true}, {QStringLiteral("tiles"), states}};
}

// Tiles that cannot be switched now are answered at once with what a click would be told;
// the others are switched together, one way each, and the reply waits for their echoes. A tile
// that is unknown is switched too: only an echo tells which way its slot is.
void ScriptRequests::switchTiles(QObject* owner, const Reply& reply, const QList<int>& tiles,
                                 std::optional<bool> on, int timeoutMs) {
    auto* wait = new EchoWait(context_.events, owner);
    QMap<int, QJsonObject> settled;
    QList<int> switched[2];
    for (int tile : tiles) {
        const SlotState state = context_.rack.state(tile);
        // A toggle switches on whatever does not read on.
        const bool wanted = on.value_or(state != SlotState::On);
        if (const auto refused = commands_.refusal(tile)) {
            settled.insert(tile, refusalResult(tile, *refused));
        } else if (state == (wanted ? SlotState::On : SlotState::Off)) {
            settled.insert(tile, tileResult(tile, QStringLiteral("confirmed")));
        } else {
            wait->expect(tile, wanted);
            switched[wanted].append(tile);
        }
    }
    // The time for the echoes starts once the frames have gone out, which on a slow disk is
    // after the intents have landed.
    const auto results = std::make_shared<QMap<int, QJsonObject>>(settled);
    const auto ways = std::make_shared<int>(int(!switched[0].isEmpty()) + !switched[1].isEmpty());
    const RackModel& rack = context_.rack;
    const QPointer<EchoWait> alive(wait);
    const auto wayAnswered = [&rack, alive, reply, tiles, results, ways, timeoutMs] {
        if (--*ways == 0 && alive)
            reportWhenEchoed(rack, alive, reply, tiles, *results, timeoutMs);
    };
    for (const bool way : {false, true}) {
        if (switched[way].isEmpty())
            continue;
        TileSwitches(context_).send(
            switched[way], way, RackEvents::Cause::Script,
            [alive, results, tiles = switched[way], wayAnswered](bool sent) {
                // A switch on whose intent cannot be kept does not go out.
                for (int tile : tiles) {
                    if (sent)
                        break;
                    if (alive)
                        alive->forget(tile);
                    results->insert(tile, tileResult(tile, QStringLiteral("refused"), NotKept));
                }
                wayAnswered();
            });
    }
    if (*ways == 0)
        reportWhenEchoed(rack, wait, reply, tiles, *results, timeoutMs);
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
    reportWhenEchoed(context_.rack, wait, reply, tiles, settled, offMs + timeoutMs);
}

void ScriptRequests::reportWhenEchoed(const RackModel& rack, EchoWait* wait, const Reply& reply,
                                      const QList<int>& tiles, QMap<int, QJsonObject> settled,
                                      int timeoutMs) {
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
