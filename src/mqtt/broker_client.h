#pragma once

#include "mqtt/bridge_settings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// One client session with the broker, kept up by a thread of its own: name lookups, connects,
// TLS handshakes, keepalives and reconnects (with back-off) never touch the caller's thread.
// The client library and its TLS libraries live in a module of their own, loaded only when a
// bridge is configured, so that a start without one loads neither.
class BrokerClient {
public:
    static constexpr char ModuleName[] = "libhubrix_mqtt.so";
    static constexpr char CreateFunction[] = "hubrixCreateBrokerClient";

    // Messages handed to the library and not yet sent (QoS 0) or acknowledged (QoS 1); past
    // this, publish() refuses, so that a slow broker cannot make the program grow.
    static constexpr int MaxPending = 4096;
    // Messages received and not yet taken by the owner; past this, one is answered at once on
    // its sibling topic "result" that it was refused.
    static constexpr int MaxIncoming = 1024;

    // Called on the session's thread; the owner hands them over to its own.
    struct Handlers {
        std::function<void()> connected;
        // Each attempt to reach the broker that fails, and each loss of a session, with why.
        std::function<void(const QString& why)> lost;
        // Not retained messages on the subscription; retained ones (stale commands) are dropped.
        std::function<void(const QString& topic, const QByteArray& payload)> message;
        // The queue has room again after publish() refused.
        std::function<void()> drained;
    };

    // Says "offline" on the will topic, leaves the broker and stops the thread.
    virtual ~BrokerClient() = default;

    // willTopic gets "offline", retained, when the session ends without a word; subscription is
    // subscribed with QoS 1 at every connect. False, with why, when the library refuses the
    // settings.
    virtual bool start(const BridgeSettings& settings, const QString& willTopic,
                       const QString& subscription, Handlers handlers, QString* why) = 0;
    // Copies the message into the library's queue; false when the queue is full or the library
    // refuses it. Any thread.
    virtual bool publish(const QString& topic, const QByteArray& payload, int qos, bool retain) = 0;
    // The owner has handled one message.
    virtual void taken() = 0;
};

// The client from the first of moduleDirs that holds the module; none without it.
std::unique_ptr<BrokerClient> loadBrokerClient(const QStringList& moduleDirs);
