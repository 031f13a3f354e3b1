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
    if (socket)
        socket->write(QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n');
}
} // namespace

ControlChannel::ControlChannel(Context& context, std::unique_ptr<ControlListener> listener,
                               QObject* parent)
    : QObject(parent), requests_(context), listener_(std::move(listener)),
      eventLines_(new EventLines(context.events, this)) {
    listener_->setAcceptor([this](QIODevice* connection) { accept(connection); });
}

bool ControlChannel::listen(const QString& path) {
    return listener_->listen(path);
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
        send(socket, ScriptRequests::failure(QStringLiteral("malformed request: line too long")));
    }
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
    if (request.value(QStringLiteral("cmd")).toString() == QLatin1String("events")) {
        follow(socket);
        return;
    }
    const QPointer<QIODevice> alive(socket);
    requests_.run(request, socket, [alive](const QJsonObject& reply) { send(alive, reply); });
}

void ControlChannel::follow(QIODevice* socket) {
    connect(eventLines_, &EventLines::line, socket,
            [socket](const QJsonObject& event) { send(socket, event); });
    send(socket, QJsonObject{{QStringLiteral("ok"), true}, {QStringLiteral("following"), true}});
}
