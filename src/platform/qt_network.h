#pragma once

#include "platform/network.h"

#include <QNetworkAccessManager>

// The network through QtNetwork: interfaces from QNetworkInterface, pages through one
// QNetworkAccessManager, which keeps connections and TLS sessions for the next request.
class QtNetwork : public Network {
public:
    // An operator waits for the page with the window still drawn but the click unanswered, so
    // a request that has not finished by then is given up.
    static constexpr int DefaultTimeoutMs = 5000;

    explicit QtNetwork(int timeoutMs = DefaultTimeoutMs) : timeoutMs_(timeoutMs) {}

    bool isConnected() const override;
    QStringList localAddresses() const override;
    Page get(const QUrl& url) override;

    // The charset parameter of a Content-Type header value; empty when there is none.
    static QByteArray declaredCharset(const QByteArray& contentType);

private:
    int timeoutMs_;
    QNetworkAccessManager manager_;
};
