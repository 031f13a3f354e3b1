#include "script/echo_wait.h"

#include "state/rack_events.h"

EchoWait::EchoWait(RackEvents& events, QObject* parent) : QObject(parent) {
    connect(&events, &RackEvents::switchConfirmed, this, &EchoWait::confirmed);
    connect(&events, &RackEvents::powerCycleCutShort, this, &EchoWait::cutShort);
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &EchoWait::end);
}

void EchoWait::expect(int tile, bool on) {
    expected_.append({tile, on});
}

void EchoWait::forget(int tile) {
    expected_.removeIf([tile](const QPair<int, bool>& each) { return each.first == tile; });
}

void EchoWait::finish(int timeoutMs, Done done) {
    done_ = std::move(done);
    timer_.start(expected_.isEmpty() ? 0 : timeoutMs);
}

void EchoWait::confirmed(int tile, bool on) {
    expected_.removeOne(QPair<int, bool>{tile, on});
    if (done_ && expected_.isEmpty())
        timer_.start(0);
}

void EchoWait::cutShort(int tile, const QString& reason) {
    const qsizetype before = expected_.size();
    forget(tile);
    if (expected_.size() == before)
        return;
    cutShort_.insert(tile, reason);
    // The window is closing: the reply leaves now, not on a turn of the loop that may not come.
    if (done_ && expected_.isEmpty())
        end();
}

void EchoWait::end() {
    if (!done_)
        return;
    QSet<int> missing;
    for (const auto& [tile, on] : expected_)
        missing.insert(tile);
    const auto done = std::move(done_);
    done_ = nullptr;
    done(missing, cutShort_);
    deleteLater();
}
