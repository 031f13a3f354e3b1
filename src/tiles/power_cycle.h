#pragma once

#include "state/rack_events.h"

#include <QList>

struct Context;
class StyledButton;

// 断电重启 in a tile's context menu, and a script's cycle: the slot goes off, stays off for
// the off time and comes back on, each step through the tile's own click.
class PowerCycle {
public:
    static constexpr int DefaultOffMs = 2000;

    explicit PowerCycle(Context& context) : context_(context) {}

    void onCycleChosen(StyledButton* button);

    // Tiles that are on are switched off together, and after offMs all of them on; clicks,
    // echoes and commands go on being handled during the off time. False, doing nothing, when
    // as many cycles as may nest are waiting already.
    bool cycle(const QList<int>& tiles, int offMs, RackEvents::Cause cause);

private:
    Context& context_;
};
