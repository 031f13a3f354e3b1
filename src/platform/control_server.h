#pragma once

#include "platform/control_listener.h"

#include <QObject>

class QLocalServer;

// The control channel's listener on a QLocalServer.
class ControlServer : public QObject, public ControlListener {
    Q_OBJECT
public:
    explicit ControlServer(QObject* parent = nullptr);
    ~ControlServer() override;

    void setAcceptor(Acceptor acceptor) override { acceptor_ = std::move(acceptor); }
    bool listen(const QString& path) override;
    QString errorString() const override { return error_; }

private:
    void takeConnections();

    QLocalServer* server_;
    Acceptor acceptor_;
    QString error_;
};
