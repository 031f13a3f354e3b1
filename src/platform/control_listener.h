#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QIODevice;

// The listening end of the control channel: a local socket of mode 0600 in a private
// directory, and on every connection a check that the peer runs as this user. It takes a
// bounded number of connections and refuses more with a line; out of descriptors, it waits a
// moment and goes on listening. Not a network
// service: it listens on no address. Its one implementation lives in the network module, which
// the program loads once its window is shown (loadControlListener), so that a start does not
// load the network library.
class ControlListener {
public:
    // A connection from this user: one line of JSON each way. It is deleted once its peer has
    // gone; hold it in a QPointer. It buffers a bounded amount of what the peer sends (the
    // peer's writes wait beyond that), and close() sends what is pending before it hangs up,
    // but cuts off a peer that does not take it within a few seconds.
    using Acceptor = std::function<void(QIODevice* connection)>;

    virtual ~ControlListener() = default;
    virtual void setAcceptor(Acceptor acceptor) = 0;
    // A socket file that no program answers on any more (one killed before it could remove
    // it) is replaced; one that a running program answers on is left alone, and false returned.
    virtual bool listen(const QString& path) = 0;
    virtual QString errorString() const = 0;

    // The function the module exports, which returns a new listener.
    static constexpr char CreateFunction[] = "hubrixCreateControlListener";
};

// The listener of the network module found first in moduleDirs; none without the module.
std::unique_ptr<ControlListener> loadControlListener(const QStringList& moduleDirs);
