#pragma once

#include <QtGlobal>

struct Context;

// Turns the bytes of the eight hub links into frames: every complete frame updates its link's
// device number, and the echo of the pending tile switch confirms the switch on its tile, the
// tile lamp and the open-devices list.
class ByteArrival {
public:
    explicit ByteArrival(Context& context) : context_(context) {}

    // One received byte on hub link 1 ... 8.
    void onByte(int link, quint8 byte);

private:
    void onFrame(int link, const QString& frameText);
    void confirmPendingSwitch();
    void addOpenDeviceLine(int tile);
    void removeOpenDeviceLine(int tile);

    Context& context_;
};
