#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// The listening end of the control channel: a local socket of mode 0600 in a private
// directory, and on every connection a check that the peer runs as this user. Not a network
// service: it listens on no address.
class ControlServer : public QObject {
    Q_OBJECT
public:
    explicit ControlServer(QObject* parent = nullptr);
    ~ControlServer() override;

    // A socket file that no program answers on any more (one killed before it could remove
    // it) is replaced; one that a running program answers on is left alone, and false returned.
    bool listen(const QString& path);
    QString errorString() const { return error_; }

    // A connection from this user; the socket is a child of the server.
    Q_SIGNAL void accepted(QLocalSocket* socket);

private:
    void takeConnections();

    QLocalServer* server_;
    QString error_;
};
