#pragma once

#include "platform/control_listener.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

// The control channel's listener: a listening socket of its own under a QSocketNotifier, and a
// QLocalSocket for every connection it takes. QLocalServer gives up its socket file for good
// the first time accept fails, as it does whenever the process is out of descriptors; here a
// failed accept only pauses taking connections.
class ControlServer : public QObject, public ControlListener {
    Q_OBJECT
public:
    // Scripts open one connection per command and a few followers; more at once is a runaway
    // script, refused with a line rather than left to use up the program's descriptors.
    static constexpr int MaxConnections = 64;
    // How long taking connections pauses when the process has no descriptor for one.
    static constexpr int AcceptPauseMs = 100;
    // What a connection may have sent and not yet been read: two of the longest requests.
    static constexpr qint64 ReadBufferBytes = 128 * 1024;
    // How long a connection that is closed with replies unsent may take to read them.
    static constexpr int CloseGraceMs = 5000;

    explicit ControlServer(QObject* parent = nullptr);
    ~ControlServer() override;

    void setAcceptor(Acceptor acceptor) override { acceptor_ = std::move(acceptor); }
    bool listen(const QString& path) override;
    QString errorString() const override { return error_; }

private:
    void takeConnections();
    bool takeOne();
    void refuse(int fd, const char* line);
    void serve(int fd);

    int listener_ = -1;
    // Held open so that, with every other descriptor in use, a waiting client can still be
    // taken and told why it is refused instead of waiting without an answer.
    int reserve_ = -1;
    QSocketNotifier notifier_{QSocketNotifier::Read};
    QTimer resume_;
    QString path_;
    Acceptor acceptor_;
    QString error_;
    int connections_ = 0;
    bool warned_ = false;
};
