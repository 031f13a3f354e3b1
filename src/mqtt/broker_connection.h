#pragma once

#include "mqtt/bridge_settings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

struct mosquitto;
struct mosquitto_message;

// One client session with the broker, kept up by a thread of its own: name lookups, connects,
// TLS handshakes, keepalives and reconnects (with back-off) never touch the caller's thread.
// Signals are emitted on that thread; receivers on the window's thread connect them queued.
// publish() may be called from the owner's thread at any time.
class BrokerConnection : public QObject {
    Q_OBJECT
public:
    // Messages handed to the library and not yet sent (QoS 0) or acknowledged (QoS 1); past
    // this, publish() refuses, so that a slow broker cannot make the program grow.
    static constexpr int MaxPending = 4096;
    // Messages received and not yet taken by the owner; past this, one is answered at once on
    // its sibling topic "result" that it was refused.
    static constexpr int MaxIncoming = 1024;

    // willTopic gets "offline", retained, when the session ends without a word;
    // subscription is subscribed with QoS 1 at every connect.
    BrokerConnection(const BridgeSettings& settings, const QString& willTopic,
                     const QString& subscription, QObject* parent = nullptr);
    // Says "offline" on the will topic, leaves the broker and stops the thread.
    ~BrokerConnection() override;

    // Starts the session's thread; false, with why, when the library refuses the settings.
    bool start(QString* why);
    // Copies the message into the library's queue; false when the queue is full or the library
    // refuses it.
    bool publish(const QString& topic, const QByteArray& payload, int qos, bool retain);
    int pending() const { return pending_; }
    // The owner has handled one messageArrived.
    void taken() { --incoming_; }

    // Each attempt to reach the broker that fails, and each loss of a session, with the reason.
    Q_SIGNAL void lost(const QString& why);
    Q_SIGNAL void connected();
    // Not retained messages on the subscription; retained ones (stale commands) are dropped.
    Q_SIGNAL void messageArrived(const QString& topic, const QByteArray& payload);
    // The queue has room again after publish() refused.
    Q_SIGNAL void drained();

private:
    void run();
    QString reason(int rc, int error) const;
    void waitBeforeRetry(int seconds);

    static void onConnect(mosquitto* client, void* self, int rc);
    static void onPublish(mosquitto* client, void* self, int mid);
    static void onMessage(mosquitto* client, void* self, const mosquitto_message* message);
    static void onLog(mosquitto* client, void* self, int level, const char* text);

    BridgeSettings settings_;
    QByteArray willTopic_;
    QByteArray subscription_;
    mosquitto* client_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> pending_{0};
    std::atomic<bool> full_{false};
    std::atomic<int> incoming_{0};
    // Written and read on the session's thread only.
    QString refusal_;
    QString lastError_;
    bool accepted_ = false;
};
