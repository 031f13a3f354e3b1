#include "hub/link_loss.h"

#include "state/context.h"
#include "state/rack_events.h"
#include "ui/colours.h"
#include "ui/lamp.h"
#include "ui/main_window.h"

#include <algorithm>

void LinkLoss::onPortLost(int link) {
    GlobalState& state = context_.state;
    LinkState& lost = state.links[size_t(link - 1)];
    // A probe port that vanishes during a scan was never the link's board.
    if (lost.address.isEmpty())
        return;
    lost.address.clear();
    emit context_.events.linkLost(link);
    const auto& ui = context_.window.ui();
    ui.linkLamps[size_t(link - 1)]->setColour(colour::Red);
    const bool anyLeft = std::any_of(state.links.begin(), state.links.end(),
                                     [](const LinkState& each) { return !each.address.isEmpty(); });
    if (!anyLeft)
        ui.connectionLamp->setColour(colour::Red);
}
