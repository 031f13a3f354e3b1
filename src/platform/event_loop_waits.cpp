#include "platform/event_loop_waits.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

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
