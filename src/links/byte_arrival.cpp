#include "links/byte_arrival.h"

#include "hub/frame_codec.h"
#include "platform/waits.h"
#include "rack/rack_model.h"
#include "state/context.h"

void ByteArrival::onByte(int link, quint8 byte) {
    LinkState& state = context_.state.links[size_t(link - 1)];
    if (auto frameText = state.receiver.push(byte, context_.services.waits.nowMs()))
        onFrame(link, *frameText);
}

void ByteArrival::onFrame(int link, const QString& frameText) {
    GlobalState& state = context_.state;
    LinkState& linkState = state.links[size_t(link - 1)];
    if (frameText == linkState.sentQuery) {
        linkState.receiver.reset();
        return;
    }
    // Once the link is found, only a frame framed as a board frames it may change its number:
    // line noise that still made twelve bytes must not redirect every later switch frame.
    if (!context_.rack.isFound(link) || frame::isFramed(frameText))
        linkState.deviceNumber = frame::deviceNumber(frameText);
    state.receivedKey = frame::confirmationKey(frameText);
    state.echoFlag = state.receivedKey.startsWith(QStringLiteral("81")) ? 0 : 1;
    if (state.echoFlag == 0)
        emit switchEchoed(link, frameText);
}
