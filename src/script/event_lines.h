#pragma once

#include "hub/dimensions.h"
#include "state/rack_events.h"

#include <QJsonObject>
#include <QObject>

#include <array>

// Everything that happens on the rack as one JSON object per event, the same for every
// follower: a script's events, and anything else that publishes them.
class EventLines : public QObject {
    Q_OBJECT
public:
    explicit EventLines(RackEvents& events, QObject* parent = nullptr);

    // {"event": NAME, "time": ISO 8601 with milliseconds and UTC offset, ...}.
    Q_SIGNAL void line(const QJsonObject& event);

private:
    // Who asked for each tile's last switch, for the answers that follow it.
    std::array<RackEvents::Cause, TileCount> lastCause_{};
};
