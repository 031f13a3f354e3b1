#pragma once

#include "script/script_commands.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>

#include <functional>

struct Context;
class EchoWait;

// One scripted request, whoever carries it (the control channel, a broker): a JSON object
// in, one JSON object out through reply, on a later turn of the event loop for a command that
// waits for echoes. A switch is the tile's click, confirmed by the board's echo.
class ScriptRequests {
public:
    using Reply = std::function<void(const QJsonObject&)>;

    explicit ScriptRequests(Context& context) : context_(context), commands_(context) {}

    // Runs request; the waits it starts live as children of owner, so a caller that goes away
    // takes them with it and is never replied to.
    void run(const QJsonObject& request, QObject* owner, const Reply& reply);

    static QJsonObject failure(const QString& text);

private:
    void switchTiles(QObject* owner, const Reply& reply, const QList<int>& tiles, bool on,
                     int timeoutMs);
    void cycleTiles(QObject* owner, const Reply& reply, const QList<int>& tiles, int offMs,
                    int timeoutMs);
    void reportWhenEchoed(EchoWait* wait, const Reply& reply, const QList<int>& tiles,
                          QMap<int, QJsonObject> settled, int timeoutMs);

    Context& context_;
    ScriptCommands commands_;
};
