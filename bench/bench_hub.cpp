// The hub links: bytes per second through the arrival handling, the CPU and wall time of a
// query run over eight links and thirty silent ports, and the round trip from a tile click to
// the lit tile through the simulator over a pseudo-terminal.
#include "bench_stats.h"
#include "quiet_services.h"
#include "simulator_process.h"

#include "app/program.h"
#include "hub/frame_codec.h"
#include "platform/event_loop_waits.h"
#include "platform/qt_serial_port.h"
#include "platform/thread_writer.h"
#include "ui/styled_button.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>

namespace {
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Rig {
    QTemporaryDir dir;
    QuietSpeech speech;
    QtSerialPortFactory serialPorts{dir.path()};
    EventLoopWaits realWaits;
    CountingWaits waits{realWaits};
    QuietDialogs dialogs;
    QuietNetwork network;
    QuietTune tune;
    ThreadWriter writer;
};

void arrivalThroughput() {
    Rig rig;
    Program program(Services{rig.speech, rig.serialPorts, rig.waits, rig.dialogs, rig.network,
                             rig.tune, rig.writer},
                    rig.dir.path());
    const QByteArray reply = hex_to_bytes(QStringLiteral("A5A680011234000000EEA7A8"));
    constexpr int Frames = 1'000'000;
    SerialPort& port = program.port(1);
    const double ms = timeMs([&] {
        for (int i = 0; i < Frames; ++i) {
            for (char byte : reply)
                emit port.byteArrived(quint8(byte));
        }
    });
    const double bytesPerSecond = Frames * 12.0 / (ms / 1000.0);
    report("arrival handling, one link", bytesPerSecond / 1e6, "MB/s", ">= 9 MB/s");
}

void silentQueryRun() {
    Rig rig;
    QStringList silent;
    for (int n = 1; n <= 30; ++n)
        silent << QString::number(n);
    SimulatorProcess simulator(rig.dir.path(), {"--silent", silent.join(',')}, 30);
    Program program(Services{rig.speech, rig.serialPorts, rig.waits, rig.dialogs, rig.network,
                             rig.tune, rig.writer},
                    rig.dir.path());
    program.window().ui().probeWaitList->setCurrentIndex(0);
    const double cpuBefore = cpuSeconds();
    const double wallMs = timeMs([&] { program.window().ui().connectButton->click(); });
    const double cpuMs = (cpuSeconds() - cpuBefore) * 1000.0;
    std::printf("Query run over 8 links x 30 silent ports: %d probe waits of 60 ms\n",
                rig.waits.count);
    report("CPU time as a share of wall time", 100.0 * cpuMs / wallMs, "%", "< 2 %");
    report("wall time against the sum of probe waits",
           100.0 * (wallMs - double(rig.waits.waitedMs)) / double(rig.waits.waitedMs), "%",
           "within 5 %");
    // What each probe costs beyond its wait: opening, configuring and closing the port and
    // sending the query frame.
    report("per probe, above the probe wait",
           (wallMs - double(rig.waits.waitedMs)) / double(std::max(rig.waits.count, 1)), "ms",
           "<= 2 ms");
}

// Runs the event loop until the button shows caption or a second has passed.
double untilCaption(Program& program, StyledButton* button, const QString& caption) {
    QEventLoop loop;
    QObject::connect(&program.port(1), &SerialPort::byteArrived, &loop, [&] {
        if (button->text() == caption)
            loop.quit();
    });
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    return timeMs([&] {
        button->click();
        if (button->text() != caption)
            loop.exec();
    });
}

void clickRoundTrip() {
    Rig rig;
    SimulatorProcess simulator(rig.dir.path(), {"--board", "1:0102"}, 1);
    Program program(Services{rig.speech, rig.serialPorts, rig.waits, rig.dialogs, rig.network,
                             rig.tune, rig.writer},
                    rig.dir.path());
    program.window().ui().probeWaitList->setCurrentIndex(0);
    program.window().ui().connectButton->click();
    std::vector<double> on, off;
    for (int i = 0; i < 200; ++i) {
        StyledButton* button = program.window().tile(i % 42 + 1).button;
        on.push_back(untilCaption(program, button, QStringLiteral("已打开")));
        // Switching off shows "已关闭" at once; the echo then undoes the lit look.
        QEventLoop loop;
        QObject::connect(&program.port(1), &SerialPort::byteArrived, &loop, [&] {
            if (!button->isLit())
                loop.quit();
        });
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        off.push_back(timeMs([&] {
            button->click();
            loop.exec();
        }));
    }
    report("tile click to lit tile through the simulator (median)", median(on), "ms", "< 5 ms");
    report("tile click to switched-off tile (median)", median(off), "ms", "-");
}
} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    arrivalThroughput();
    clickRoundTrip();
    silentQueryRun();
    return 0;
}
