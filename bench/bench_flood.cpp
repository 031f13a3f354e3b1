// Floods all eight hub links with random bytes through pseudo-terminals, then switches one slot
// on every link. Prints how many bytes per second the program handled, the longest time its
// event loop went without a turn, and whether every frame it sent afterwards was well formed
// and carried its board's device number (the simulated boards check both).
#include "bench_program.h"
#include "bench_stats.h"

#include "app/program.h"
#include "hubsim/hub_rack.h"
#include "platform/event_loop_waits.h"
#include "platform/qt_serial_port.h"
#include "ui/styled_button.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

namespace {
constexpr qint64 BytesPerLink = 2 * 1024 * 1024;
constexpr int Chunk = 4096;

quint16 deviceNumber(int link) {
    return quint16(0x1A00 + link);
}

// Runs the event loop until done() holds or timeoutMs pass.
template <typename Done> bool runUntil(Done done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    HubRack rack(dir.path());
    for (int k = 1; k <= LinkCount; ++k)
        rack.addBoard(k, deviceNumber(k));
    QuietProgram quiet(dir.path());
    quiet.connect();
    Program& program = quiet.program;
    for (int k = 1; k <= LinkCount; ++k) {
        if (!program.rack().isFound(k)) {
            std::printf("link %d was not found\n", k);
            return 1;
        }
    }

    qint64 handled = 0;
    for (int k = 1; k <= LinkCount; ++k)
        QObject::connect(&program.port(k), &SerialPort::byteArrived, [&handled] { ++handled; });
    // The turns of a 1 ms timer: a long gap is time the program spent without handling events.
    double longestStallMs = 0;
    QElapsedTimer sinceTurn;
    QTimer turn;
    turn.setTimerType(Qt::PreciseTimer);
    turn.setInterval(1);
    QObject::connect(&turn, &QTimer::timeout, [&] {
        longestStallMs = std::max(longestStallMs, double(sinceTurn.nsecsElapsed()) / 1e6);
        sinceTurn.restart();
    });

    QRandomGenerator random(20261208);
    qint64 sent = 0;
    QTimer feeder;
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        for (int k = 1; k <= LinkCount; ++k) {
            // Keep a little in flight on each terminal, never megabytes.
            if (rack.unreadBytes(k) > 4 * Chunk)
                continue;
            QByteArray noise(Chunk, '\0');
            random.fillRange(reinterpret_cast<quint32*>(noise.data()), Chunk / 4);
            rack.inject(k, noise);
            sent += Chunk;
        }
    });
    QElapsedTimer flood;
    flood.start();
    sinceTurn.start();
    turn.start();
    feeder.start(0);
    const qint64 total = BytesPerLink * LinkCount;
    const bool flooded = runUntil([&] { return sent >= total; }, 120000);
    feeder.stop();
    runUntil([&] { return handled >= sent; }, 10000);
    const double seconds = double(flood.nsecsElapsed()) / 1e9;
    turn.stop();

    // A pause on every line lets the unfinished noise frames go, then one slot per link.
    runUntil([] { return false; }, 200);
    int wellFormed = 0;
    for (int k = 1; k <= LinkCount; ++k) {
        const int slot = 1 + k;
        program.window().tile(SlotsPerLink * (k - 1) + slot).button->click();
    }
    const auto allOn = [&] {
        for (int k = 1; k <= LinkCount; ++k) {
            if (!rack.slotOn(k, 1 + k))
                return false;
        }
        return true;
    };
    runUntil(allOn, 5000);
    for (int k = 1; k <= LinkCount; ++k) {
        const bool on = rack.slotOn(k, 1 + k);
        const bool sameNumber =
            program.state().links[size_t(k - 1)].deviceNumber ==
            QStringLiteral("%1").arg(deviceNumber(k), 4, 16, QLatin1Char('0')).toUpper();
        if (on && sameNumber && rack.framesRejected(k) == 0)
            ++wellFormed;
    }

    std::printf("flooded %s: %lld random bytes on 8 links in %.2f s\n",
                flooded ? "fully" : "partly", static_cast<long long>(handled), seconds);
    report("bytes handled per second, all links together", double(handled) / seconds / 1e6, "MB/s",
           "-");
    report("longest event-loop stall during the flood", longestStallMs, "ms", "< 50 ms");
    report("links whose switch after the flood was accepted", wellFormed, "of 8", "8");
    return wellFormed == LinkCount ? 0 : 1;
}
