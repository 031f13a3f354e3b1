#pragma once

#include "platform/control_listener.h"
#include "script/script_requests.h"

#include <QObject>

#include <memory>

struct Context;
class EventLines;
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
    void follow(QIODevice* socket);

    ScriptRequests requests_;
    std::unique_ptr<ControlListener> listener_;
    EventLines* eventLines_;
};
