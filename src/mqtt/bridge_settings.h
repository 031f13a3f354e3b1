#pragma once

#include <QString>

#include <variant>

// How this program reaches the lab's broker: section [mqtt] of hubrix.conf in the store
// directory, read once at start. Without that file or without a host the bridge stays off.
struct BridgeSettings {
    static constexpr const char* FileName = "hubrix.conf";

    QString host;
    int port = 1883;
    // Every topic lies under it, so that programs sharing a broker never share a topic.
    QString prefix;
    int keepaliveSeconds = 10;
    QString clientId;
    QString username;
    // Read from password_file; empty without one.
    QString password;
    bool tls = false;
    // Without one, TLS trusts the machine's own certificate authorities.
    QString caFile;
    QString certFile;
    QString keyFile;

    // Not configured: the bridge is off and nothing is said.
    struct Off {};
    // Configured but refused; why, for the operator.
    struct Refused {
        QString why;
    };
    using Reading = std::variant<Off, Refused, BridgeSettings>;

    // hostName names this machine in the default prefix and client id.
    static Reading read(const QString& storeDir, const QString& hostName);
};
