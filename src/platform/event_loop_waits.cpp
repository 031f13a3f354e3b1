#include "platform/event_loop_waits.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <ctime>

void EventLoopWaits::wait(int ms) {
    QEventLoop loop;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(ms);
    loop.exec();
}

void EventLoopWaits::processPendingEvents() {
    QCoreApplication::processEvents();
}

void EventLoopWaits::callAfter(int ms, QObject* receiver, std::function<void()> call) {
    QTimer::singleShot(ms, Qt::PreciseTimer, receiver, std::move(call));
}

qint64 EventLoopWaits::nowMs() const {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}
