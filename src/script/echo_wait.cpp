#include "script/echo_wait.h"

#include "state/rack_events.h"

EchoWait::EchoWait(RackEvents& events, QObject* parent) : QObject(parent) {
    connect(&events, &RackEvents::switchConfirmed, this, &EchoWait::confirmed);
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &EchoWait::end);
}

void EchoWait::expect(int tile, bool on) {
    expected_.append({tile, on});
}

void EchoWait::finish(int timeoutMs, std::function<void(const QSet<int>&)> done) {
    done_ = std::move(done);
    timer_.start(expected_.isEmpty() ? 0 : timeoutMs);
}

void EchoWait::confirmed(int tile, bool on) {
    expected_.removeOne(QPair<int, bool>{tile, on});
    if (done_ && expected_.isEmpty())
        timer_.start(0);
}

void EchoWait::end() {
    if (!done_)
        return;
    QSet<int> missing;
    for (const auto& [tile, on] : expected_)
        missing.insert(tile);
    const auto done = std::move(done_);
    done_ = nullptr;
    done(missing);
    deleteLater();
}
