#include "script/control_channel.h"

#include "script/event_lines.h"
#include "state/context.h"

#include <QIODevice>
#include <QJsonDocument>
#include <QPointer>

namespace {
// A request longer than this without its line end is not one; the buffer is dropped.
constexpr qint64 MaxRequestBytes = 64 * 1024;

void send(QIODevice* socket, const QJsonObject& message) {
    socket->write(QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n');
}
} // namespace

ControlChannel::ControlChannel(Context& context, std::unique_ptr<ControlListener> listener,
                               QObject* parent)
    : QObject(parent), requests_(context), listener_(std::move(listener)),
      eventLines_(new EventLines(context.events, this)) {
    listener_->setAcceptor([this](QIODevice* connection) { accept(connection); });
}

// The connections go with the listener, and tell the channel so while it is whole.
ControlChannel::~ControlChannel() {
    listener_.reset();
}

bool ControlChannel::listen(const QString& path) {
    return listener_->listen(path);
}

void ControlChannel::accept(QIODevice* socket) {
    connections_.insert(socket, {});
    connect(socket, &QIODevice::readyRead, this, [this, socket] { schedule(socket); });
    // A connection held back for its unsent replies goes on as they leave.
    connect(socket, &QIODevice::bytesWritten, this, [this, socket] { schedule(socket); });
    connect(socket, &QObject::destroyed, this, [this, socket] {
        connections_.remove(socket);
        ready_.removeOne(socket);
    });
}

void ControlChannel::schedule(QIODevice* socket) {
    if (ready_.contains(socket) || !hasWork(socket))
        return;
    ready_.append(socket);
    postTurn();
}

void ControlChannel::postTurn() {
    if (turnPosted_ || ready_.isEmpty())
        return;
    turnPosted_ = true;
    QMetaObject::invokeMethod(this, &ControlChannel::takeTurn, Qt::QueuedConnection);
}

bool ControlChannel::hasWork(QIODevice* socket) const {
    const auto connection = connections_.constFind(socket);
    if (connection == connections_.constEnd() || connection->handling ||
        connection->waiting >= MaxWaitingPerConnection ||
        socket->bytesToWrite() > MaxUnsentReplyBytes)
        return false;
    return socket->canReadLine() || socket->bytesAvailable() >= MaxRequestBytes;
}

// One request of the first connection in line, which then goes to the back of it. A request
// that waits nested (a power cycle's off time) lets the turns go on meanwhile, for every other
// connection.
void ControlChannel::takeTurn() {
    turnPosted_ = false;
    if (ready_.isEmpty())
        return;
    QIODevice* socket = ready_.takeFirst();
    postTurn();
    if (!hasWork(socket))
        return;
    if (!socket->canReadLine()) {
        socket->readAll();
        send(socket, ScriptRequests::failure(QStringLiteral("malformed request: line too long")));
    } else {
        const QPointer<QIODevice> alive(socket);
        connections_[socket].handling = true;
        handle(socket, socket->readLine().trimmed());
        if (!alive)
            return;
        connections_[socket].handling = false;
    }
    schedule(socket);
}

void ControlChannel::handle(QIODevice* socket, const QByteArray& line) {
    if (line.isEmpty())
        return;
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject()) {
        send(socket,
             ScriptRequests::failure(QStringLiteral("malformed request: not a JSON object")));
        return;
    }
    const QJsonObject request = document.object();
    const QString command = request.value(QStringLiteral("cmd")).toString();
    if (command == QLatin1String("events")) {
        follow(socket);
        return;
    }
    if (command == QLatin1String("raise")) {
        emit raiseRequested();
        send(socket, QJsonObject{{QStringLiteral("ok"), true}});
        return;
    }
    const QPointer<QIODevice> alive(socket);
    ++connections_[socket].waiting;
    requests_.run(request, socket, [this, alive](const QJsonObject& reply) {
        if (!alive)
            return;
        send(alive, reply);
        replied(alive);
    });
}

void ControlChannel::replied(QIODevice* socket) {
    const auto connection = connections_.find(socket);
    if (connection == connections_.end())
        return;
    --connection->waiting;
    schedule(socket);
}

void ControlChannel::follow(QIODevice* socket) {
    connect(eventLines_, &EventLines::line, socket,
            [this, socket](const QJsonObject& event) { forward(socket, event); });
    send(socket, QJsonObject{{QStringLiteral("ok"), true}, {QStringLiteral("following"), true}});
}

void ControlChannel::forward(QIODevice* socket, const QJsonObject& event) {
    if (socket->bytesToWrite() <= MaxFollowerBacklogBytes) {
        send(socket, event);
        return;
    }
    disconnect(eventLines_, nullptr, socket, nullptr);
    send(socket, ScriptRequests::failure(
                     QStringLiteral("dropped: this follower fell more than %1 KiB of events "
                                    "behind; follow again to go on")
                         .arg(MaxFollowerBacklogBytes / 1024)));
    // The listener gives it a while to read what is left, then cuts it off.
    socket->close();
}
