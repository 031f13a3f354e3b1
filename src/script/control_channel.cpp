#include "script/control_channel.h"

#include "script/echo_wait.h"
#include "state/context.h"
#include "tiles/power_cycle.h"
#include "tiles/tile_state.h"

#include <QDateTime>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QPointer>

#include <algorithm>

namespace {
constexpr int DefaultTimeoutMs = 1000;
// A request longer than this without its line end is not one; the buffer is dropped.
constexpr qint64 MaxRequestBytes = 64 * 1024;

void send(QIODevice* socket, const QJsonObject& message) {
    if (socket)
        socket->write(QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n');
}

QJsonObject failure(const QString& text) {
    return QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), text}};
}

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

QString causeName(RackEvents::Cause cause) {
    return cause == RackEvents::Cause::Script ? QStringLiteral("script") : QStringLiteral("click");
}

QJsonObject eventLine(const QString& name) {
    return QJsonObject{
        {QStringLiteral("event"), name},
        {QStringLiteral("time"), QDateTime::currentDateTime().toString(Qt::ISODateWithMs)}};
}

QJsonObject tileResult(int tile, const QString& result, const QString& text = {}) {
    QJsonObject line{{QStringLiteral("tile"), tile}, {QStringLiteral("result"), result}};
    if (!text.isEmpty())
        line.insert(QStringLiteral("text"), text);
    return line;
}

QJsonObject refusalResult(int tile, const ScriptCommands::Refusal& refused) {
    return tileResult(
        tile, refused.connecting ? QStringLiteral("refused") : QStringLiteral("not connected"),
        refused.prompt);
}
} // namespace

ControlChannel::ControlChannel(Context& context, std::unique_ptr<ControlListener> listener,
                               QObject* parent)
    : QObject(parent), context_(context), commands_(context), listener_(std::move(listener)) {
    lastCause_.fill(RackEvents::Cause::Click);
    listener_->setAcceptor([this](QIODevice* connection) { accept(connection); });
    trackEvents();
}

bool ControlChannel::listen(const QString& path) {
    return listener_->listen(path);
}

void ControlChannel::trackEvents() {
    RackEvents& events = context_.events;
    connect(
        &events, &RackEvents::switchRequested, this,
        [this](int tile, bool, RackEvents::Cause cause) { lastCause_[size_t(tile - 1)] = cause; });
}

void ControlChannel::accept(QIODevice* socket) {
    connect(socket, &QIODevice::readyRead, this, [this, socket] { readRequests(socket); });
}

// Requests that came in during a nested wait of an earlier one on this connection are taken
// up when that one returns.
void ControlChannel::readRequests(QIODevice* socket) {
    const QPointer<QIODevice> alive(socket);
    while (alive && alive->canReadLine())
        handle(socket, alive->readLine().trimmed());
    if (alive && alive->bytesAvailable() > MaxRequestBytes) {
        alive->readAll();
        send(socket, failure(QStringLiteral("malformed request: line too long")));
    }
}

void ControlChannel::handle(QIODevice* socket, const QByteArray& line) {
    if (line.isEmpty())
        return;
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject()) {
        send(socket, failure(QStringLiteral("malformed request: not a JSON object")));
        return;
    }
    const QJsonObject request = document.object();
    const QString command = request.value(QStringLiteral("cmd")).toString();
    const auto tiles = tileList(request.value(QStringLiteral("tiles")));
    const auto timeout =
        milliseconds(request, QStringLiteral("timeoutMs"), DefaultTimeoutMs, 600'000);
    if (command == QLatin1String("status")) {
        send(socket, commands_.status());
    } else if (command == QLatin1String("on") || command == QLatin1String("off")) {
        if (!tiles || !timeout)
            send(socket, failure(QStringLiteral("malformed request: tiles or timeoutMs")));
        else
            switchTiles(socket, *tiles, command == QLatin1String("on"), *timeout);
    } else if (command == QLatin1String("cycle")) {
        const auto offMs =
            milliseconds(request, QStringLiteral("offMs"), PowerCycle::DefaultOffMs, 3'600'000);
        if (!tiles || !timeout || !offMs)
            send(socket, failure(QStringLiteral("malformed request: tiles, offMs or timeoutMs")));
        else
            cycleTiles(socket, *tiles, *offMs, *timeout);
    } else if (command == QLatin1String("remark")) {
        const auto tile = tileList(QJsonArray{request.value(QStringLiteral("tile"))});
        const QJsonValue text = request.value(QStringLiteral("text"));
        if (!tile || !(text.isUndefined() || text.isString()))
            send(socket, failure(QStringLiteral("malformed request: tile or text")));
        else if (text.isUndefined())
            send(socket, commands_.remark(tile->first()));
        else
            send(socket, commands_.setRemark(tile->first(), text.toString()));
    } else if (command == QLatin1String("find")) {
        const QJsonValue text = request.value(QStringLiteral("text"));
        if (!text.isString())
            send(socket, failure(QStringLiteral("malformed request: text")));
        else
            send(socket, commands_.find(text.toString()));
    } else if (command == QLatin1String("events")) {
        follow(socket);
    } else {
        send(socket, failure(QStringLiteral("malformed request: unknown cmd")));
    }
}

// Tiles that cannot be switched now are answered at once with what a click would be told;
// the others are clicked, and the reply waits for their echoes.
void ControlChannel::switchTiles(QIODevice* socket, const QList<int>& tiles, bool on,
                                 int timeoutMs) {
    auto* wait = new EchoWait(context_.events, socket);
    QMap<int, QJsonObject> settled;
    for (int tile : tiles) {
        if (const auto refused = commands_.refusal(tile)) {
            settled.insert(tile, refusalResult(tile, *refused));
        } else if (tileState(context_, tile).on == on) {
            settled.insert(tile, tileResult(tile, QStringLiteral("confirmed")));
        } else {
            wait->expect(tile, on);
            commands_.click(tile);
        }
    }
    reportWhenEchoed(socket, wait, tiles, settled, timeoutMs);
}

// Tiles that cannot be switched are answered at once; the others go off together if they
// are on, stay off for offMs and come back on, all in the window as it happens.
void ControlChannel::cycleTiles(QIODevice* socket, const QList<int>& tiles, int offMs,
                                int timeoutMs) {
    const QPointer<QIODevice> alive(socket);
    auto* wait = new EchoWait(context_.events, socket);
    QMap<int, QJsonObject> settled;
    QList<int> cycled;
    for (int tile : tiles) {
        if (const auto refused = commands_.refusal(tile)) {
            settled.insert(tile, refusalResult(tile, *refused));
            continue;
        }
        if (tileState(context_, tile).on)
            wait->expect(tile, false);
        wait->expect(tile, true);
        cycled.append(tile);
    }
    if (!cycled.isEmpty() &&
        !PowerCycle(context_).cycle(cycled, offMs, RackEvents::Cause::Script)) {
        delete wait;
        send(alive, failure(QStringLiteral("refused: two power cycles are waiting already")));
        return;
    }
    if (!alive)
        return;
    reportWhenEchoed(socket, wait, tiles, settled, timeoutMs);
}

void ControlChannel::reportWhenEchoed(QIODevice* socket, EchoWait* wait, const QList<int>& tiles,
                                      QMap<int, QJsonObject> settled, int timeoutMs) {
    const QPointer<QIODevice> alive(socket);
    wait->finish(timeoutMs, [this, alive, tiles, settled](const QSet<int>& missing) {
        bool ok = true;
        QJsonArray results;
        for (int tile : tiles) {
            QJsonObject result = settled.value(tile);
            if (result.isEmpty()) {
                const bool confirmed = !missing.contains(tile);
                result = tileResult(tile, confirmed ? QStringLiteral("confirmed")
                                                    : QStringLiteral("unconfirmed"));
            }
            ok = ok && result.value(QStringLiteral("result")) == QStringLiteral("confirmed");
            results.append(result);
        }
        send(alive, QJsonObject{{QStringLiteral("ok"), ok}, {QStringLiteral("tiles"), results}});
    });
}

void ControlChannel::follow(QIODevice* socket) {
    RackEvents& events = context_.events;
    connect(&events, &RackEvents::switchRequested, socket,
            [socket](int tile, bool on, RackEvents::Cause cause) {
                QJsonObject line = eventLine(QStringLiteral("switch requested"));
                line.insert(QStringLiteral("tile"), tile);
                line.insert(QStringLiteral("on"), on);
                line.insert(QStringLiteral("cause"), causeName(cause));
                send(socket, line);
            });
    const auto answer = [this, socket](const QString& name) {
        return [this, socket, name](int tile, bool on) {
            QJsonObject line = eventLine(name);
            line.insert(QStringLiteral("tile"), tile);
            line.insert(QStringLiteral("on"), on);
            line.insert(QStringLiteral("cause"), causeName(lastCause_[size_t(tile - 1)]));
            send(socket, line);
        };
    };
    connect(&events, &RackEvents::switchConfirmed, socket,
            answer(QStringLiteral("switch confirmed")));
    connect(&events, &RackEvents::switchUnconfirmed, socket,
            answer(QStringLiteral("switch unconfirmed")));
    connect(&events, &RackEvents::linkFound, socket,
            [socket](int link, const QString& deviceNumber, int portNumber) {
                QJsonObject line = eventLine(QStringLiteral("link found"));
                line.insert(QStringLiteral("link"), link);
                line.insert(QStringLiteral("deviceNumber"), deviceNumber);
                line.insert(QStringLiteral("port"), portNumber);
                send(socket, line);
            });
    connect(&events, &RackEvents::linkLost, socket, [socket](int link) {
        QJsonObject line = eventLine(QStringLiteral("link lost"));
        line.insert(QStringLiteral("link"), link);
        send(socket, line);
    });
    connect(&events, &RackEvents::promptSpoken, socket, [socket](const QString& text) {
        QJsonObject line = eventLine(QStringLiteral("prompt spoken"));
        line.insert(QStringLiteral("text"), text);
        send(socket, line);
    });
    send(socket, QJsonObject{{QStringLiteral("ok"), true}, {QStringLiteral("following"), true}});
}
