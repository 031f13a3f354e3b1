#include "script/echo_wait.h"

#include "state/rack_events.h"

EchoWait::EchoWait(RackEvents& events, QObject* parent) : QObject(parent) {
    connect(&events, &RackEvents::switchRequested, this,
            [this](int tile, bool on) { requested(tile, on); });
    connect(&events, &RackEvents::switchConfirmed, this, &EchoWait::confirmed);
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &EchoWait::end);
}

void EchoWait::expect(int tile, bool on) {
    expected_.append({tile, on});
}

void EchoWait::finish(int timeoutMs, std::function<void(const Missing&)> done) {
    done_ = std::move(done);
    expected_.removeIf([this](const QPair<int, bool>& expected) {
        if (sent_.contains(expected))
            return false;
        missing_.unsent.insert(expected.first);
        return true;
    });
    timer_.start(expected_.isEmpty() ? 0 : timeoutMs);
}

void EchoWait::requested(int tile, bool on) {
    sent_.insert({tile, on});
}

void EchoWait::confirmed(int tile, bool on) {
    expected_.removeOne(QPair<int, bool>{tile, on});
    if (done_ && expected_.isEmpty())
        timer_.start(0);
}

void EchoWait::end() {
    if (!done_)
        return;
    for (const auto& [tile, on] : expected_)
        missing_.unechoed.insert(tile);
    const auto done = std::move(done_);
    done_ = nullptr;
    done(missing_);
    deleteLater();
}
