#pragma once

#include "state/rack_events.h"

#include <QList>

struct Context;
class StyledButton;

// 断电重启 in a tile's context menu, and a script's cycle: the slot goes off, stays off for
// the off time and comes back on. Each tile's off time runs on a timer of its own, so any
// number of cycles run at once and none waits for another.
class PowerCycle {
public:
    static constexpr int DefaultOffMs = 2000;

    explicit PowerCycle(Context& context) : context_(context) {}

    void onCycleChosen(StyledButton* button);
    // Starts a cycle of each tile, all on found links: one that is on goes off now, and after
    // offMs it is switched on. Returns the tiles refused because a cycle of theirs runs already.
    QList<int> cycle(const QList<int>& tiles, int offMs, RackEvents::Cause cause);

private:
    void switchBackOn(int tile, int cycleId, RackEvents::Cause cause);

    Context& context_;
};
