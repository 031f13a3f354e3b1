#pragma once

#include <QByteArray>
#include <QStringList>
#include <QUrl>

// The few network queries the program makes: whether the machine is on a network, its own
// addresses, and one web page.
class Network {
public:
    // How a GET ended: with a page, given up after the time-out, or failed (no route, refused,
    // an error status, a body too big to be the page asked for).
    enum class Outcome { Received, TimedOut, Failed };

    // A fetched page: its body as sent and the charset its Content-Type declares, if any.
    struct Page {
        QByteArray body;
        QByteArray charset;
        Outcome outcome = Outcome::Received;
    };

    virtual ~Network() = default;
    // True when the machine has a working network connection.
    virtual bool isConnected() const = 0;
    // The machine's IP addresses as texts, in the order the platform lists them.
    virtual QStringList localAddresses() const = 0;
    // One GET of url; returns once the page is in or the request failed, handling UI events
    // meanwhile. A request that did not bring a page gives an empty one with its outcome.
    virtual Page get(const QUrl& url) = 0;
};
