#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

inline double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Milliseconds taken by one call of work.
template <typename Work> double timeMs(Work&& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

inline void report(const char* what, double value, const char* unit, const char* target) {
    std::printf("%-58s %10.3f %-6s (target %s)\n", what, value, unit, target);
}

// The longest gap between two turns of a 1 ms timer while it runs: how long the thread was
// busy without handling events.
class StallMeter {
public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            longestMs_ = std::max(longestMs_, double(clock_.nsecsElapsed()) / 1e6);
            clock_.restart();
        });
    }
    // While work runs; work waits in nested event loops of its own.
    template <typename Work> double measure(Work&& work) {
        longestMs_ = 0;
        clock_.start();
        timer_.start();
        work();
        timer_.stop();
        longestMs_ = std::max(longestMs_, double(clock_.nsecsElapsed()) / 1e6);
        return longestMs_;
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    double longestMs_ = 0;
};
