#include "script/event_lines.h"

#include <QDateTime>

namespace {
QString causeName(RackEvents::Cause cause) {
    return cause == RackEvents::Cause::Script ? QStringLiteral("script") : QStringLiteral("click");
}

QJsonObject eventLine(const QString& name) {
    // Local time with its offset, so that lines from machines in other zones compare.
    const QDateTime now = QDateTime::currentDateTime();
    return QJsonObject{{QStringLiteral("event"), name},
                       {QStringLiteral("time"),
                        now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs)}};
}
} // namespace

EventLines::EventLines(RackEvents& events, QObject* parent) : QObject(parent) {
    lastCause_.fill(RackEvents::Cause::Click);
    connect(&events, &RackEvents::switchRequested, this,
            [this](int tile, bool on, RackEvents::Cause cause) {
                lastCause_[size_t(tile - 1)] = cause;
                QJsonObject event = eventLine(QStringLiteral("switch requested"));
                event.insert(QStringLiteral("tile"), tile);
                event.insert(QStringLiteral("on"), on);
                event.insert(QStringLiteral("cause"), causeName(cause));
                emit line(event);
            });
    const auto answer = [this](const QString& name) {
        return [this, name](int tile, bool on) {
            QJsonObject event = eventLine(name);
            event.insert(QStringLiteral("tile"), tile);
            event.insert(QStringLiteral("on"), on);
            event.insert(QStringLiteral("cause"), causeName(lastCause_[size_t(tile - 1)]));
            emit line(event);
        };
    };
    connect(&events, &RackEvents::switchConfirmed, this,
            answer(QStringLiteral("switch confirmed")));
    connect(&events, &RackEvents::switchUnconfirmed, this,
            answer(QStringLiteral("switch unconfirmed")));
    connect(&events, &RackEvents::linkFound, this,
            [this](int link, const QString& deviceNumber, int portNumber) {
                QJsonObject event = eventLine(QStringLiteral("link found"));
                event.insert(QStringLiteral("link"), link);
                event.insert(QStringLiteral("deviceNumber"), deviceNumber);
                event.insert(QStringLiteral("port"), portNumber);
                emit line(event);
            });
    connect(&events, &RackEvents::linkLost, this, [this](int link) {
        QJsonObject event = eventLine(QStringLiteral("link lost"));
        event.insert(QStringLiteral("link"), link);
        emit line(event);
    });
    connect(&events, &RackEvents::promptSpoken, this, [this](const QString& text) {
        QJsonObject event = eventLine(QStringLiteral("prompt spoken"));
        event.insert(QStringLiteral("text"), text);
        emit line(event);
    });
}
