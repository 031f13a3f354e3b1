#include "mqtt/mqtt_bridge.h"

#include "mqtt/broker_client.h"
#include "mqtt/rack_view.h"
#include "rack/rack_model.h"
#include "state/context.h"
#include "state/rack_events.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "ui/main_window.h"
#include "ui/status_line.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSysInfo>

namespace {
QByteArray json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
} // namespace

std::unique_ptr<MqttBridge> MqttBridge::start(Context& context, const QStringList& moduleDirs) {
    StatusLine* line = context.window.ui().statusLine;
    const auto refused = [line](const QString& why) {
        const QString text = QStringLiteral("MQTT 未启用：") + why;
        qWarning("hubrix: %s", qPrintable(text));
        line->showLine(text);
        return nullptr;
    };
    const auto reading = BridgeSettings::read(context.programDir, QSysInfo::machineHostName());
    if (const auto* refusal = std::get_if<BridgeSettings::Refused>(&reading))
        return refused(refusal->why);
    const auto* settings = std::get_if<BridgeSettings>(&reading);
    if (!settings)
        return nullptr;
    std::unique_ptr<BrokerClient> client = loadBrokerClient(moduleDirs);
    if (!client)
        return refused(QStringLiteral("找不到 MQTT 模块 ") +
                       QLatin1String(BrokerClient::ModuleName));
    auto bridge = std::make_unique<MqttBridge>(context, *settings);
    QObject::connect(bridge.get(), &MqttBridge::notice, line,
                     [line](const QString& text) { line->showLine(text); });
    QString why;
    if (!bridge->begin(std::move(client), &why))
        return refused(why);
    return bridge;
}

MqttBridge::MqttBridge(Context& context, const BridgeSettings& settings)
    : context_(context), settings_(settings), requests_(context), eventLines_(context.events) {
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(0);
    connect(&flushTimer_, &QTimer::timeout, this, &MqttBridge::flush);

    RackEvents& events = context.events;
    connect(&eventLines_, &EventLines::line, this, &MqttBridge::publishEvent);
    // What the rack model says of a tile or a link (its board, its binding) changed.
    connect(&context.rack, &RackModel::tileChanged, this, [this](int tile) { touch({tile}); });
    connect(&context.rack, &RackModel::linkChanged, this, [this](int) {
        staleLinks_ = true;
        scheduleFlush();
    });
    connect(&events, &RackEvents::remarkSaved, this, [this](int tile, const QString& text) {
        staleRemarks_.insert(tile, text);
        scheduleFlush();
    });
}

MqttBridge::~MqttBridge() = default;

bool MqttBridge::begin(std::unique_ptr<BrokerClient> client, QString* why) {
    client_ = std::move(client);
    // The handlers run on the client's thread; everything they report is handled on this one.
    BrokerClient::Handlers handlers;
    handlers.connected = [this] {
        QMetaObject::invokeMethod(this, &MqttBridge::onConnected, Qt::QueuedConnection);
    };
    handlers.lost = [this](const QString& reason) {
        QMetaObject::invokeMethod(
            this, [this, reason] { onLost(reason); }, Qt::QueuedConnection);
    };
    handlers.message = [this](const QString& topic, const QByteArray& payload) {
        QMetaObject::invokeMethod(
            this, [this, topic, payload] { onCommand(topic, payload); }, Qt::QueuedConnection);
    };
    handlers.drained = [this] {
        QMetaObject::invokeMethod(this, &MqttBridge::flush, Qt::QueuedConnection);
    };
    if (client_->start(settings_, topic(QStringLiteral("status")),
                       topic(QStringLiteral("tile/+/set")), std::move(handlers), why))
        return true;
    client_.reset();
    return false;
}

// A new session holds nothing of the last one for sure (a restarted broker forgets retained
// messages), so everything is published again.
void MqttBridge::onConnected() {
    connected_ = true;
    lossSaid_ = false;
    eventsDroppedSaid_ = false;
    emit notice(QStringLiteral("MQTT 已连接 %1:%2").arg(settings_.host).arg(settings_.port));
    publish(QStringLiteral("status"), "online", 1, true);
    publishedStates_.fill(QString());
    for (int tile = 1; tile <= TileCount; ++tile)
        staleStates_.insert(tile);
    staleLinks_ = true;
    const StoreSession remarks = StoreSession::remarks(context_.store, context_.programDir);
    for (int tile = 1; tile <= TileCount && remarks.isOpen(); ++tile) {
        remarks.goToRecord(tile);
        if (remarks.store().currentRecordNumber() == tile)
            staleRemarks_.insert(tile, remarks.store().readField(stores::RemarkField));
    }
    flush();
}

void MqttBridge::onLost(const QString& why) {
    const bool wasConnected = connected_;
    connected_ = false;
    if (lossSaid_)
        return;
    lossSaid_ = true;
    emit notice(wasConnected ? QStringLiteral("MQTT 连接断开：%1，正在自动重连").arg(why)
                             : QStringLiteral("MQTT 无法连接 %1:%2：%3，正在自动重试")
                                   .arg(settings_.host)
                                   .arg(settings_.port)
                                   .arg(why));
}

void MqttBridge::onCommand(const QString& topic, const QByteArray& payload) {
    client_->taken();
    static const QRegularExpression setTopic(QStringLiteral("/tile/([0-9]{1,3})/set$"));
    const QRegularExpressionMatch match = setTopic.match(topic);
    const int tile = match.hasMatch() ? match.captured(1).toInt() : 0;
    if (tile < 1 || tile > TileCount)
        return;
    runCommand(tile, QString::fromUtf8(payload).trimmed());
}

// "on", "off", "cycle" or "cycle MS", run as a script's request for that tile.
void MqttBridge::runCommand(int tile, const QString& command) {
    const QStringList words = command.split(u' ', Qt::SkipEmptyParts);
    const QString verb = words.value(0);
    QJsonObject request{{QStringLiteral("cmd"), verb}, {QStringLiteral("tiles"), QJsonArray{tile}}};
    bool valid = (verb == QLatin1String("on") || verb == QLatin1String("off")) && words.size() == 1;
    if (verb == QLatin1String("cycle") && words.size() <= 2) {
        valid = true;
        if (words.size() == 2) {
            const int offMs = words[1].toInt(&valid);
            request.insert(QStringLiteral("offMs"), offMs);
        }
    }
    const QString result = QStringLiteral("tile/%1/result").arg(tile);
    if (!valid) {
        publish(result,
                json(ScriptRequests::failure(
                    QStringLiteral("malformed request: set takes on, off, cycle or cycle MS"))),
                1, false);
        return;
    }
    requests_.run(request, this, [this, result](const QJsonObject& reply) {
        // A broker client sees only the outcome; the keep-alive lines are for local scripts.
        if (!reply.contains(QStringLiteral("progress")))
            publish(result, json(reply), 1, false);
    });
}

void MqttBridge::publishEvent(const QJsonObject& event) {
    if (!connected_ || publish(QStringLiteral("events"), json(event), 0, false) ||
        eventsDroppedSaid_)
        return;
    eventsDroppedSaid_ = true;
    emit notice(QStringLiteral("MQTT 发送队列已满，部分事件未发布"));
}

void MqttBridge::touch(const QList<int>& tiles) {
    for (int tile : tiles)
        staleStates_.insert(tile);
    scheduleFlush();
}

// Switches come in bursts; their states go out together on the next turn of the event loop,
// once the handlers have settled what the tiles show.
void MqttBridge::scheduleFlush() {
    if (!flushTimer_.isActive())
        flushTimer_.start();
}

void MqttBridge::flush() {
    if (!connected_)
        return;
    flushStates();
    flushRemarks();
    flushLinks();
}

void MqttBridge::flushStates() {
    if (staleStates_.isEmpty())
        return;
    QList<int> tiles = staleStates_.values();
    std::sort(tiles.begin(), tiles.end());
    const QStringList words = rack_view::stateWords(context_, tiles);
    for (qsizetype i = 0; i < tiles.size(); ++i) {
        const int tile = tiles[i];
        QString& published = publishedStates_[size_t(tile - 1)];
        if (words[i] != published &&
            !publish(QStringLiteral("tile/%1/state").arg(tile), words[i].toUtf8(), 1, true))
            return;
        published = words[i];
        staleStates_.remove(tile);
    }
}

void MqttBridge::flushRemarks() {
    while (!staleRemarks_.isEmpty()) {
        const auto first = staleRemarks_.constBegin();
        // An empty remark clears the retained one.
        if (!publish(QStringLiteral("tile/%1/remark").arg(first.key()), first.value().toUtf8(), 1,
                     true))
            return;
        staleRemarks_.erase(first);
    }
}

void MqttBridge::flushLinks() {
    if (!staleLinks_)
        return;
    const QJsonArray links =
        ScriptCommands(context_).status().value(QStringLiteral("links")).toArray();
    for (const QJsonValue& each : links) {
        QJsonObject link = each.toObject();
        const int number = link.take(QStringLiteral("link")).toInt();
        if (!publish(QStringLiteral("link/%1").arg(number), json(link), 1, true))
            return;
    }
    staleLinks_ = false;
}

bool MqttBridge::publish(const QString& rest, const QByteArray& payload, int qos, bool retain) {
    return client_->publish(topic(rest), payload, qos, retain);
}
