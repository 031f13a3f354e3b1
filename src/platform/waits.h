#pragma once

#include <QtGlobal>

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
};
