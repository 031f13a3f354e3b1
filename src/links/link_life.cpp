#include "links/link_life.h"

#include "hub/frame_codec.h"
#include "platform/serial_port.h"
#include "rack/rack_model.h"
#include "state/context.h"
#include "state/rack_events.h"
#include "ui/colours.h"
#include "ui/lamp.h"
#include "ui/main_window.h"

void LinkLife::found(int link) {
    const LinkState& state = context_.state.links[size_t(link - 1)];
    const SerialPort& port = *context_.ports[size_t(link - 1)];
    context_.rack.linkFound(link, state.deviceNumber, port.openPortNumber());
    emit context_.events.linkFound(link, state.deviceNumber, port.openPortNumber());
}

void LinkLife::onPortLost(int link) {
    RackModel& rack = context_.rack;
    if (!rack.isFound(link))
        return;
    context_.ports[size_t(link - 1)]->close();
    context_.state.links[size_t(link - 1)].release();
    rack.linkLost(link);
    const auto& ui = context_.window.ui();
    ui.linkLamps[size_t(link - 1)]->setColour(colour::Red);
    if (!rack.anyFound())
        ui.connectionLamp->setColour(colour::Red);
    emit context_.events.linkLost(link);
}

void LinkLife::stop(int link) {
    const bool wasFound = context_.rack.isFound(link);
    context_.ports[size_t(link - 1)]->close();
    context_.state.links[size_t(link - 1)].release();
    if (wasFound) {
        context_.rack.linkGone(link);
        emit context_.events.linkLost(link);
    }
}
