#pragma once

#include <QtGlobal>

#include <functional>

class QObject;

// Time as the program sees it: waits that keep events flowing, and a monotonic clock.
class Waits {
public:
    virtual ~Waits() = default;
    // Returns after ms milliseconds; UI events (byte arrivals, clicks) are handled meanwhile.
    virtual void wait(int ms) = 0;
    // Handles the events pending now, once.
    virtual void processPendingEvents() = 0;
    // Milliseconds on a monotonic clock.
    virtual qint64 nowMs() const = 0;
    // Runs call once on this thread's event loop, ms milliseconds from now (0: as soon as the
    // events pending now are handled), unless receiver is gone by then. Nothing waits for it.
    virtual void callAfter(int ms, QObject* receiver, std::function<void()> call) = 0;
};
