#include "mqtt/broker_connection.h"

#include <mosquitto.h>

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <cstring>

namespace {
// Back-off between attempts: 1 s, doubling up to half a minute, so that fifty programs whose
// broker restarts do not all knock at once for long.
constexpr int FirstRetrySeconds = 1;
constexpr int LastRetrySeconds = 30;
// After the owner leaves, how long the thread may still try to deliver the last words.
constexpr int FarewellMs = 2000;

int libraryUsers = 0;
std::mutex libraryMutex;

QByteArray fileName(const QString& path) {
    return path.isEmpty() ? QByteArray() : QFile::encodeName(path);
}

const char* orNull(const QByteArray& text) {
    return text.isEmpty() ? nullptr : text.constData();
}
} // namespace

BrokerConnection::BrokerConnection() {
    const std::lock_guard lock(libraryMutex);
    if (libraryUsers++ == 0)
        mosquitto_lib_init();
}

BrokerConnection::~BrokerConnection() {
    if (thread_.joinable()) {
        publish(QString::fromUtf8(willTopic_), "offline", 1, true);
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        mosquitto_disconnect(client_);
        wake_.notify_all();
        thread_.join();
    }
    mosquitto_destroy(client_);
    const std::lock_guard lock(libraryMutex);
    if (--libraryUsers == 0)
        mosquitto_lib_cleanup();
}

bool BrokerConnection::start(const BridgeSettings& settings, const QString& willTopic,
                             const QString& subscription, Handlers handlers, QString* why) {
    settings_ = settings;
    willTopic_ = willTopic.toUtf8();
    subscription_ = subscription.toUtf8();
    handlers_ = std::move(handlers);
    const auto refuse = [why](const QString& text) {
        *why = text;
        return false;
    };
    // A clean session: commands sent while this program was away are not replayed.
    client_ = mosquitto_new(settings_.clientId.toUtf8().constData(), true, this);
    if (!client_)
        return refuse(QStringLiteral("MQTT 客户端无法创建"));
    mosquitto_threaded_set(client_, true);
    // A command's result is one small packet; it must not wait for the broker's last ack.
    mosquitto_int_option(client_, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(client_, onConnect);
    mosquitto_publish_callback_set(client_, onPublish);
    mosquitto_message_callback_set(client_, onMessage);
    mosquitto_log_callback_set(client_, onLog);
    if (mosquitto_will_set(client_, willTopic_.constData(), 7, "offline", 1, true) !=
        MOSQ_ERR_SUCCESS)
        return refuse(QStringLiteral("prefix 不是有效的主题"));
    if (!settings_.username.isEmpty()) {
        const QByteArray password = settings_.password.toUtf8();
        mosquitto_username_pw_set(client_, settings_.username.toUtf8().constData(),
                                  orNull(password));
    }
    if (settings_.tls) {
        const QByteArray caFile = fileName(settings_.caFile);
        const int rc = mosquitto_tls_set(
            client_, orNull(caFile), caFile.isEmpty() ? "/etc/ssl/certs" : nullptr,
            orNull(fileName(settings_.certFile)), orNull(fileName(settings_.keyFile)), nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return refuse(
                QStringLiteral("TLS 设置无效：%1").arg(QString::fromUtf8(mosquitto_strerror(rc))));
    }
    thread_ = std::thread([this] { run(); });
    return true;
}

bool BrokerConnection::publish(const QString& topic, const QByteArray& payload, int qos,
                               bool retain) {
    if (pending_ >= MaxPending) {
        full_ = true;
        return false;
    }
    ++pending_;
    const int rc = mosquitto_publish(client_, nullptr, topic.toUtf8().constData(),
                                     int(payload.size()), payload.constData(), qos, retain);
    if (rc != MOSQ_ERR_SUCCESS)
        --pending_;
    return rc == MOSQ_ERR_SUCCESS;
}

// The session's thread: connect, run the session until it ends, wait, and again.
void BrokerConnection::run() {
    int retrySeconds = FirstRetrySeconds;
    bool first = true;
    while (!stopping_) {
        refusal_.clear();
        lastError_.clear();
        accepted_ = false;
        // The first call names the broker; later ones reuse it, so that nothing the owner's
        // thread may touch (the wake-up pipe behind publish) is made anew.
        int rc = first ? mosquitto_connect_async(client_, settings_.host.toUtf8().constData(),
                                                 settings_.port, settings_.keepaliveSeconds)
                       : mosquitto_reconnect_async(client_);
        first = false;
        QElapsedTimer farewell;
        while (rc == MOSQ_ERR_SUCCESS) {
            rc = mosquitto_loop(client_, 1000, 1);
            // Leaving, the loop runs on only to deliver the last words, and not for long.
            if (stopping_ && !farewell.isValid())
                farewell.start();
            if (farewell.isValid() && farewell.hasExpired(FarewellMs))
                break;
        }
        const int error = errno;
        if (stopping_)
            break;
        handlers_.lost(reason(rc, error));
        if (accepted_)
            retrySeconds = FirstRetrySeconds;
        waitBeforeRetry(retrySeconds);
        retrySeconds = std::min(retrySeconds * 2, LastRetrySeconds);
    }
}

QString BrokerConnection::reason(int rc, int error) const {
    if (!refusal_.isEmpty())
        return refusal_;
    if (rc == MOSQ_ERR_TLS && !lastError_.isEmpty())
        return lastError_;
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(error));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

void BrokerConnection::waitBeforeRetry(int seconds) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, std::chrono::seconds(seconds), [this] { return stopping_.load(); });
}

void BrokerConnection::onConnect(mosquitto* client, void* self, int rc) {
    auto* connection = static_cast<BrokerConnection*>(self);
    if (rc != 0) {
        connection->refusal_ = QString::fromUtf8(mosquitto_connack_string(rc));
        return;
    }
    // Whatever the library held for the last session went with it.
    connection->pending_ = 0;
    connection->full_ = false;
    connection->accepted_ = true;
    mosquitto_subscribe(client, nullptr, connection->subscription_.constData(), 1);
    connection->handlers_.connected();
}

void BrokerConnection::onPublish(mosquitto*, void* self, int) {
    auto* connection = static_cast<BrokerConnection*>(self);
    if (--connection->pending_ <= MaxPending / 2 && connection->full_.exchange(false))
        connection->handlers_.drained();
}

void BrokerConnection::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* connection = static_cast<BrokerConnection*>(self);
    // A retained command is one somebody left behind, not one meant now.
    if (message->retain)
        return;
    const QByteArray topic(message->topic);
    if (connection->incoming_ >= MaxIncoming) {
        connection->publish(
            QString::fromUtf8(topic.left(topic.lastIndexOf('/') + 1)) + QStringLiteral("result"),
            R"({"ok":false,"error":"refused: too many requests waiting"})", 1, false);
        return;
    }
    ++connection->incoming_;
    connection->handlers_.message(
        QString::fromUtf8(topic),
        QByteArray(static_cast<const char*>(message->payload), message->payloadlen));
}

void BrokerConnection::onLog(mosquitto*, void* self, int level, const char* text) {
    // The library's own words on a failed TLS handshake say more than its error code.
    if (level & MOSQ_LOG_ERR)
        static_cast<BrokerConnection*>(self)->lastError_ = QString::fromUtf8(text);
}

extern "C" Q_DECL_EXPORT BrokerClient* hubrixCreateBrokerClient() {
    return new BrokerConnection;
}
