// How long the window stops answering on a disk whose every sync takes 300 ms: while a remark
// is saved (from the script command to its reply, which waits until it is durable) and while
// a burst of switches goes out and is confirmed and kept. Each is measured twice: with the
// writes run on the window's thread, as they were before the writer, and through the writer.
// The benchmark starts itself again with the slow-sync library preloaded.
#include "bench_stats.h"
#include "quiet_services.h"

#include "app/program.h"
#include "fakes/inline_writer.h"
#include "hubsim/hub_rack.h"
#include "platform/event_loop_waits.h"
#include "platform/qt_serial_port.h"
#include "platform/thread_writer.h"
#include "rack/rack_model.h"
#include "script/script_commands.h"
#include "store/stores.h"
#include "ui/styled_button.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QJsonObject>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdlib>
#include <unistd.h>

namespace {
constexpr int Saves = 5;
constexpr int Bursts = 3;
constexpr int BoardsInBurst = 2;

struct Rig {
    explicit Rig(BackgroundWriter& chosen) : writer(chosen) {}

    QTemporaryDir dir;
    HubRack rack{dir.path()};
    QuietSpeech speech;
    QtSerialPortFactory serialPorts{dir.path()};
    EventLoopWaits waits;
    AgreeingDialogs dialogs;
    QuietNetwork network;
    QuietTune tune;
    BackgroundWriter& writer;
    std::unique_ptr<Program> program;

    // Boards on the first links, found by a query run and bound, so that remarks may be saved.
    bool start() {
        for (int k = 1; k <= BoardsInBurst; ++k)
            rack.addBoard(k, quint16(0x0100 + k));
        program = std::make_unique<Program>(
            Services{speech, serialPorts, waits, dialogs, network, tune, writer}, dir.path());
        const auto& ui = program->window().ui();
        ui.probeWaitList->setCurrentIndex(0);
        ui.connectButton->click();
        ui.bindButton->click();
        return until([&] { return ui.unbindButton->isEnabled(); });
    }
    template <typename Done> bool until(Done done) {
        QElapsedTimer limit;
        limit.start();
        while (!done() && limit.elapsed() < 60'000)
            waits.wait(5);
        return done();
    }
};

struct Figures {
    double saveStall = 0;
    double saveReply = 0;
    double burstStall = 0;
    double burstKept = 0;
};

bool measure(BackgroundWriter& writer, Figures& figures) {
    Rig rig(writer);
    if (!rig.start()) {
        std::printf("the boards were not found and bound\n");
        return false;
    }
    ScriptCommands commands(rig.program->context());
    StallMeter meter;
    for (int n = 0; n < Saves; ++n) {
        QJsonObject reply;
        QElapsedTimer clock;
        clock.start();
        figures.saveStall = std::max(figures.saveStall, meter.measure([&] {
            commands.setRemark(1 + n, QStringLiteral("备注%1").arg(n),
                               [&reply](const QJsonObject& answer) { reply = answer; });
            rig.until([&] { return !reply.isEmpty(); });
        }));
        figures.saveReply = std::max(figures.saveReply, double(clock.elapsed()));
        if (reply.value(QStringLiteral("ok")) != true) {
            std::printf("a remark save failed\n");
            return false;
        }
    }
    // Every tile of the first boards clicked, then each confirmed by its board and kept.
    RackModel& rack = rig.program->rack();
    const int tiles = BoardsInBurst * SlotsPerLink;
    for (int burst = 0; burst < Bursts; ++burst) {
        int kept = 0;
        const auto counting = QObject::connect(
            &rack, &RackModel::switchKept, [&kept](int, bool, bool written) { kept += written; });
        QElapsedTimer clock;
        clock.start();
        figures.burstStall = std::max(figures.burstStall, meter.measure([&] {
            for (int tile = 1; tile <= tiles; ++tile)
                rig.program->window().tile(tile).button->click();
            rig.until([&] { return kept == tiles; });
        }));
        figures.burstKept = std::max(figures.burstKept, double(clock.elapsed()));
        QObject::disconnect(counting);
        if (kept != tiles) {
            std::printf("a burst was not kept\n");
            return false;
        }
    }
    return true;
}
} // namespace

int main(int argc, char* argv[]) {
    if (!std::getenv("SLOW_SYNC_MS")) {
        ::setenv("SLOW_SYNC_MS", "300", 1);
        ::setenv("LD_PRELOAD", SLOW_SYNC_LIBRARY, 1);
        ::execv("/proc/self/exe", argv);
        std::perror("bench_slow_disk: cannot start itself again");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("Every sync takes %s ms longer; worst of %d remark saves and %d bursts of %d "
                "switches\n",
                std::getenv("SLOW_SYNC_MS"), Saves, Bursts, BoardsInBurst * SlotsPerLink);
    Figures before;
    Figures after;
    // Each write on the caller's thread, answered before submit returns: the window's own syncs.
    InlineWriter windowThread;
    ThreadWriter writerThread;
    if (!measure(windowThread, before) || !measure(writerThread, after))
        return 1;
    report("remark save: longest stall, writes on the window's thread", before.saveStall, "ms",
           "-");
    report("remark save: longest stall, through the writer", after.saveStall, "ms", "< 50 ms");
    report("remark save: until the reply says saved, window's thread", before.saveReply, "ms", "-");
    report("remark save: until the reply says saved, writer", after.saveReply, "ms", "-");
    report("switch burst: longest stall, writes on the window's thread", before.burstStall, "ms",
           "-");
    report("switch burst: longest stall, through the writer", after.burstStall, "ms", "< 50 ms");
    report("switch burst: until every switch is kept, window's thread", before.burstKept, "ms",
           "-");
    report("switch burst: until every switch is kept, writer", after.burstKept, "ms", "-");
    return 0;
}
