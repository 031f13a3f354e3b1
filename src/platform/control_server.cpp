#include "platform/control_server.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// The user id of the process at the other end of a connected local socket.
bool peerIsThisUser(const QLocalSocket& socket) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return false;
    return peer.uid == ::geteuid();
}

bool answers(const QString& path) {
    QLocalSocket probe;
    probe.connectToServer(path);
    return probe.waitForConnected(500);
}
} // namespace

ControlServer::ControlServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
    connect(server_, &QLocalServer::newConnection, this, &ControlServer::takeConnections);
}

ControlServer::~ControlServer() = default;

bool ControlServer::listen(const QString& path) {
    if (path.isEmpty()) {
        error_ = QStringLiteral("no private runtime directory for the control socket");
        return false;
    }
    if (QFile::exists(path)) {
        if (answers(path)) {
            error_ = QStringLiteral("another program already listens on ") + path;
            return false;
        }
        QLocalServer::removeServer(path);
    }
    if (!server_->listen(path)) {
        error_ = server_->errorString();
        return false;
    }
    // The directory is private already; the socket itself is too, in case it is linked out.
    ::chmod(QFile::encodeName(server_->fullServerName()).constData(), 0600);
    return true;
}

void ControlServer::takeConnections() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (peerIsThisUser(*socket)) {
            if (acceptor_)
                acceptor_(socket);
            continue;
        }
        socket->write(R"({"ok":false,"peerRefused":true,)"
                      R"("error":"refused: this program belongs to another user"})"
                      "\n");
        socket->disconnectFromServer();
    }
}

extern "C" Q_DECL_EXPORT ControlListener* hubrixCreateControlListener() {
    return new ControlServer;
}
