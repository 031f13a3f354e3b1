#pragma once

#include "platform/control_server.h"
#include "script/script_commands.h"
#include "state/dimensions.h"
#include "state/rack_events.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>

#include <array>

struct Context;
class EchoWait;
class QLocalSocket;

// Scripts' way into the running program (hubrixctl and anything else that speaks its
// protocol): one JSON object per line each way on a local socket. Requests are handled on
// the user-interface thread as they arrive, like clicks, also during a handler's wait; a
// switch is the tile's click and its reply waits for the board's echo without holding up
// anything else.
class ControlChannel : public QObject {
    Q_OBJECT
public:
    explicit ControlChannel(Context& context, QObject* parent = nullptr);

    bool listen(const QString& path);
    QString errorString() const { return server_.errorString(); }

private:
    void accept(QLocalSocket* socket);
    void readRequests(QLocalSocket* socket);
    void handle(QLocalSocket* socket, const QByteArray& line);
    void switchTiles(QLocalSocket* socket, const QList<int>& tiles, bool on, int timeoutMs);
    void cycleTiles(QLocalSocket* socket, const QList<int>& tiles, int offMs, int timeoutMs);
    void reportWhenEchoed(QLocalSocket* socket, EchoWait* wait, const QList<int>& tiles,
                          QMap<int, QJsonObject> settled, int timeoutMs);
    void follow(QLocalSocket* socket);
    void trackEvents();

    Context& context_;
    ScriptCommands commands_;
    ControlServer server_;
    // Who asked for each tile's last switch, for the events that follow it.
    std::array<RackEvents::Cause, TileCount> lastCause_{};
};
