#pragma once

#include "platform/control_listener.h"
#include "script/script_requests.h"

#include <QHash>
#include <QList>
#include <QObject>

#include <memory>

struct Context;
class EventLines;
class QIODevice;

// Scripts' way into the running program (hubrixctl and anything else that speaks its
// protocol): one JSON object per line each way on a local socket. Requests are handled on
// the user-interface thread like clicks, also during a handler's wait, but one per turn of the
// event loop and connection after connection, so that no client's pile of requests keeps the
// window, the serial links or another client waiting. A switch is the tile's click and its
// reply waits for the board's echo without holding up anything else.
class ControlChannel : public QObject {
    Q_OBJECT
public:
    // A connection whose client has not taken this much of its replies is not read until it
    // does; its further requests wait in the socket, and then in the client's writes.
    static constexpr qint64 MaxUnsentReplyBytes = 256 * 1024;
    // A follower this far behind the events is dropped, with a last line that says so.
    static constexpr qint64 MaxFollowerBacklogBytes = 256 * 1024;
    // A connection's requests are handled in turn, each once the one before has been answered:
    // replies carry no request of their own, so a client that sends several reads them in its
    // order, and a switch after a switch of the same tiles finds the first one done.
    static constexpr int MaxWaitingPerConnection = 1;

    // The channel answers on whatever connections listener accepts.
    ControlChannel(Context& context, std::unique_ptr<ControlListener> listener,
                   QObject* parent = nullptr);
    ~ControlChannel() override;

    bool listen(const QString& path);
    QString errorString() const { return listener_->errorString(); }

    // Another start of the program for the same directory asks this one to the front.
    Q_SIGNAL void raiseRequested();

private:
    struct Connection {
        int waiting = 0;
        bool handling = false;
    };

    void accept(QIODevice* socket);
    void schedule(QIODevice* socket);
    bool hasWork(QIODevice* socket) const;
    void postTurn();
    void takeTurn();
    void handle(QIODevice* socket, const QByteArray& line);
    void replied(QIODevice* socket);
    void follow(QIODevice* socket);
    void forward(QIODevice* socket, const QJsonObject& event);

    ScriptRequests requests_;
    std::unique_ptr<ControlListener> listener_;
    EventLines* eventLines_;
    QHash<QIODevice*, Connection> connections_;
    // Connections with a request to handle, each once, in the order they are served; as many
    // as the listener keeps connections at most.
    QList<QIODevice*> ready_;
    // Each turn is an event of its own, so that turns also come during a nested wait of the
    // one before, as a repeating timer's would not.
    bool turnPosted_ = false;
};
