#pragma once

#include "platform/control_listener.h"
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
class QIODevice;

// Scripts' way into the running program (hubrixctl and anything else that speaks its
// protocol): one JSON object per line each way on a local socket. Requests are handled on
// the user-interface thread as they arrive, like clicks, also during a handler's wait; a
// switch is the tile's click and its reply waits for the board's echo without holding up
// anything else.
class ControlChannel : public QObject {
    Q_OBJECT
public:
    // The channel answers on whatever connections listener accepts.
    ControlChannel(Context& context, std::unique_ptr<ControlListener> listener,
                   QObject* parent = nullptr);

    bool listen(const QString& path);
    QString errorString() const { return listener_->errorString(); }

private:
    void accept(QIODevice* socket);
    void readRequests(QIODevice* socket);
    void handle(QIODevice* socket, const QByteArray& line);
    void switchTiles(QIODevice* socket, const QList<int>& tiles, bool on, int timeoutMs);
    void cycleTiles(QIODevice* socket, const QList<int>& tiles, int offMs, int timeoutMs);
    void reportWhenEchoed(QIODevice* socket, EchoWait* wait, const QList<int>& tiles,
                          QMap<int, QJsonObject> settled, int timeoutMs);
    void follow(QIODevice* socket);
    void trackEvents();

    Context& context_;
    ScriptCommands commands_;
    std::unique_ptr<ControlListener> listener_;
    // Who asked for each tile's last switch, for the events that follow it.
    std::array<RackEvents::Cause, TileCount> lastCause_{};
};
