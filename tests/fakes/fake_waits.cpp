#include "fakes/fake_waits.h"

#include "fakes/fake_serial.h"

void FakeWaits::wait(int ms) {
    const int index = int(waits.size());
    waits.append(ms);
    // Replies come back within the first millisecond of the wait.
    now_ += 1;
    bus_.deliver();
    if (duringWait)
        duringWait(index);
    now_ += ms - 1;
}

void FakeWaits::processPendingEvents() {
    bus_.deliver();
}
