#pragma once

#include "platform/waits.h"

#include <QList>
#include <QPointer>

#include <functional>

class FakeSerialBus;

// Waits on a virtual clock: a wait advances it without sleeping, delivers the bytes the fake
// ports have waiting and runs what the test scheduled for that wait (a click, say). Calls put
// off with callAfter run when the clock passes their time.
class FakeWaits : public Waits {
public:
    explicit FakeWaits(FakeSerialBus& bus) : bus_(bus) {}

    void wait(int ms) override;
    void processPendingEvents() override;
    qint64 nowMs() const override { return now_; }

    void callAfter(int ms, QObject* receiver, std::function<void()> call) override;

    // Moves the clock on and runs the calls that fell due on the way.
    void advance(qint64 ms);
    // Runs during every wait, with the 0-based number of that wait.
    std::function<void(int wait)> duringWait;
    QList<int> waits;

private:
    struct Call {
        qint64 due;
        QPointer<QObject> receiver;
        std::function<void()> call;
    };
    void runDueCalls();

    FakeSerialBus& bus_;
    QList<Call> calls_;
    qint64 now_ = 1000;
};
