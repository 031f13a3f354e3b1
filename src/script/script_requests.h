#pragma once

#include "script/echo_wait.h"
#include "script/script_commands.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>

#include <functional>
#include <optional>

struct Context;
class RackModel;

// One scripted request, whoever carries it (the control channel, a broker): a JSON object
// in, one JSON object out through reply, on a later turn of the event loop for a command that
// waits for echoes. A switch is the tile's click, confirmed by the board's echo.
//
// While a request waits, reply also gets a progress object about once a second
// ({"progress": CMD, "waitedMs": N}), so that a client can tell a busy program from a hung
// one; the final reply is the one without "progress".
class ScriptRequests {
public:
    using Reply = std::function<void(const QJsonObject&)>;

    explicit ScriptRequests(Context& context) : context_(context), commands_(context) {}

    // Runs request; the waits it starts live as children of owner, so a caller that goes away
    // takes them with it and is never replied to.
    void run(const QJsonObject& request, QObject* owner, const Reply& reply);

    // {"ok": false, "error": text}: a request that cannot be run as it stands.
    static QJsonObject failure(const QString& text);
    // As failure, with "refused": true: a rule of the moment stops it, as it would a click.
    static QJsonObject refusal(const QString& text);

private:
    // The tiles a request names, by number ("tiles") or by remark ("name"); none when
    // malformed, empty when no remark is the name.
    std::optional<QList<int>> targets(const QJsonObject& request) const;
    void connect(const Reply& reply);
    void runOnTiles(const QString& command, const QJsonObject& request, QObject* owner,
                    const Reply& reply);
    QJsonObject words(const QList<int>& tiles) const;
    // on: the way to switch every tile; none to switch each the other way.
    void switchTiles(QObject* owner, const Reply& reply, const QList<int>& tiles,
                     std::optional<bool> on, int timeoutMs);
    void cycleTiles(QObject* owner, const Reply& reply, const QList<int>& tiles, int offMs,
                    int timeoutMs);
    static void reportWhenEchoed(const RackModel& rack, EchoWait* wait, const Reply& reply,
                                 const QList<int>& tiles, QMap<int, QJsonObject> settled,
                                 int timeoutMs);

    Context& context_;
    ScriptCommands commands_;
};
