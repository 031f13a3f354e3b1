#pragma once

#include "platform/waits.h"

// Waits in a nested event loop on a precise timer: events keep flowing, the CPU stays idle.
class EventLoopWaits : public Waits {
public:
    void wait(int ms) override;
    void processPendingEvents() override;
    // The coarse monotonic clock: a few nanoseconds a read, which matters once per received
    // byte, and precise to a few milliseconds, which is all its users need.
    qint64 nowMs() const override;
    void callAfter(int ms, QObject* receiver, std::function<void()> call) override;
};
