#include "hub/link_life.h"

#include "hub/frame_codec.h"
#include "platform/serial_port.h"
#include "rack/rack_model.h"
#include "state/context.h"
#include "state/rack_events.h"
#include "ui/colours.h"
#include "ui/lamp.h"
#include "ui/main_window.h"

#include <algorithm>

void LinkLife::found(int link) {
    LinkState& state = context_.state.links[size_t(link - 1)];
    const SerialPort& port = *context_.ports[size_t(link - 1)];
    state.takeBoard(byte_to_hex(port.openPortNumber()));
    context_.rack.linkFound(link, state.deviceNumber, port.openPortNumber());
    emit context_.events.linkFound(link, state.deviceNumber, port.openPortNumber());
}

void LinkLife::onPortLost(int link) {
    GlobalState& state = context_.state;
    LinkState& lost = state.links[size_t(link - 1)];
    if (!lost.isFound())
        return;
    context_.ports[size_t(link - 1)]->close();
    lost.forget(LinkPhase::Lost);
    context_.rack.linkLost(link);
    const auto& ui = context_.window.ui();
    ui.linkLamps[size_t(link - 1)]->setColour(colour::Red);
    const bool anyLeft = std::any_of(state.links.begin(), state.links.end(),
                                     [](const LinkState& each) { return each.isFound(); });
    if (!anyLeft)
        ui.connectionLamp->setColour(colour::Red);
    emit context_.events.linkLost(link);
}

void LinkLife::stop(int link) {
    LinkState& state = context_.state.links[size_t(link - 1)];
    const bool wasFound = state.isFound();
    context_.ports[size_t(link - 1)]->close();
    state.forget(wasFound ? LinkPhase::Stopped : state.phase);
    if (wasFound) {
        context_.rack.linkGone(link);
        emit context_.events.linkLost(link);
    }
}
