#pragma once

#include "hub/dimensions.h"
#include "mqtt/bridge_settings.h"
#include "script/event_lines.h"
#include "script/script_requests.h"

#include <QMap>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <array>
#include <memory>

struct Context;
class BrokerClient;

// The rack on the lab's broker: tile states, remarks, links and events published under the
// configured prefix, and switch commands taken from it and run as scripts' requests are. The
// window never waits for the broker: what is to be published is noted and sent on a later turn
// of the event loop, and what cannot be sent now is sent again when there is room or a session.
class MqttBridge : public QObject {
    Q_OBJECT
public:
    // The bridge hubrix.conf in the store directory asks for, its notices on the window's status
    // line, its client from the first of moduleDirs that holds it; none when it is not
    // configured, or refused (the status line says why).
    static std::unique_ptr<MqttBridge> start(Context& context, const QStringList& moduleDirs);

    MqttBridge(Context& context, const BridgeSettings& settings);
    // Leaves the broker with "offline" on the status topic.
    ~MqttBridge() override;

    // False, with why, when the connection cannot even be set up.
    bool begin(std::unique_ptr<BrokerClient> client, QString* why);

    // Once when connected, once when lost (or the first attempt failed) and why.
    Q_SIGNAL void notice(const QString& text);

private:
    void onConnected();
    void onLost(const QString& why);
    void onCommand(const QString& topic, const QByteArray& payload);
    void runCommand(int tile, const QString& command);
    void publishEvent(const QJsonObject& event);

    void touch(const QList<int>& tiles);
    void scheduleFlush();
    void flush();
    void flushStates();
    void flushRemarks();
    void flushLinks();

    QString topic(const QString& rest) const { return settings_.prefix + u'/' + rest; }
    bool publish(const QString& rest, const QByteArray& payload, int qos, bool retain);

    Context& context_;
    BridgeSettings settings_;
    ScriptRequests requests_;
    EventLines eventLines_;
    std::unique_ptr<BrokerClient> client_;
    bool connected_ = false;
    // Whether the loss of the current trouble has been said already.
    bool lossSaid_ = false;
    bool eventsDroppedSaid_ = false;
    // What the broker holds for each tile, as far as this session knows.
    std::array<QString, TileCount> publishedStates_;
    QSet<int> staleStates_;
    QMap<int, QString> staleRemarks_;
    bool staleLinks_ = false;
    QTimer flushTimer_;
};
