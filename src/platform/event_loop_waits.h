#pragma once

#include "platform/waits.h"

#include <QElapsedTimer>

// Waits in a nested event loop on a precise timer: events keep flowing, the CPU stays idle.
class EventLoopWaits : public Waits {
public:
    EventLoopWaits() { clock_.start(); }

    void wait(int ms) override;
    void processPendingEvents() override;
    qint64 nowMs() const override { return clock_.elapsed(); }

private:
    QElapsedTimer clock_;
};
