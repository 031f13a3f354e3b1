#pragma once

#include "mqtt/broker_client.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

struct mosquitto;
struct mosquitto_message;

// The broker client on libmosquitto: the session runs on a thread of this class's own, which
// loops the library, so that a failed first connect, a failed TLS handshake or a name that
// does not resolve is retried like a lost session instead of ending the thread.
class BrokerConnection : public BrokerClient {
public:
    BrokerConnection();
    ~BrokerConnection() override;

    bool start(const BridgeSettings& settings, const QString& willTopic,
               const QString& subscription, Handlers handlers, QString* why) override;
    bool publish(const QString& topic, const QByteArray& payload, int qos, bool retain) override;
    void taken() override { --incoming_; }

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
    Handlers handlers_;
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
