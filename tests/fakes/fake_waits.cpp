#include "fakes/fake_waits.h"

#include "fakes/fake_serial.h"

#include <algorithm>

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
    runDueCalls();
}

void FakeWaits::processPendingEvents() {
    bus_.deliver();
    runDueCalls();
}

void FakeWaits::callAfter(int ms, QObject* receiver, std::function<void()> call) {
    calls_.append({now_ + ms, receiver, std::move(call)});
}

void FakeWaits::advance(qint64 ms) {
    now_ += ms;
    runDueCalls();
}

// In the order they fall due; a call may put off further calls, which wait for their own time.
void FakeWaits::runDueCalls() {
    for (;;) {
        const auto next =
            std::min_element(calls_.begin(), calls_.end(),
                             [](const Call& a, const Call& b) { return a.due < b.due; });
        if (next == calls_.end() || next->due > now_)
            return;
        const Call due = *next;
        calls_.erase(next);
        if (due.receiver)
            due.call();
    }
}
