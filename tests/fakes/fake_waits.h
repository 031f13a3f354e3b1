#pragma once

#include "platform/waits.h"

#include <QList>

#include <functional>

class FakeSerialBus;

// Waits on a virtual clock: a wait advances it without sleeping, delivers the bytes the fake
// ports have waiting and runs what the test scheduled for that wait (a click, say).
class FakeWaits : public Waits {
public:
    explicit FakeWaits(FakeSerialBus& bus) : bus_(bus) {}

    void wait(int ms) override;
    void processPendingEvents() override;
    qint64 nowMs() const override { return now_; }

    void advance(qint64 ms) { now_ += ms; }
    // Runs during every wait, with the 0-based number of that wait.
    std::function<void(int wait)> duringWait;
    QList<int> waits;

private:
    FakeSerialBus& bus_;
    qint64 now_ = 1000;
};
