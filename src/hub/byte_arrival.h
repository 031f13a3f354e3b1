#pragma once

#include <QtGlobal>

struct Context;

// Turns the bytes of the eight hub links into frames: every complete frame updates its link's
// device number, and a switch echo goes on to the tile that awaits it.
class ByteArrival {
public:
    explicit ByteArrival(Context& context) : context_(context) {}

    // One received byte on hub link 1 ... 8.
    void onByte(int link, quint8 byte);

private:
    void onFrame(int link, const QString& frameText);

    Context& context_;
};
