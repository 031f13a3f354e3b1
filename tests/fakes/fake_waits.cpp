#include "fakes/fake_waits.h"

#include "fakes/fake_serial.h"

void FakeWaits::wait(int ms) {
    const int index = int(waits.size());
    waits.append(ms);
    const qint64 end = now_ + ms;
    // Replies come back within the first millisecond of the wait.
    now_ += qMin(1, ms);
    bus_.deliver();
    // What the test does during the wait may take up part of it, but never makes it longer.
    if (duringWait)
        duringWait(index);
    now_ = qMax(now_, end);
}

void FakeWaits::processPendingEvents() {
    bus_.deliver();
}
