// What a confirmed switch costs now that it is kept for the next start: one confirmation with
// its store write, and how long the window stops answering while a burst of 336 echoes comes in.
#include "bench_stats.h"
#include "quiet_services.h"

#include "app/program.h"
#include "hub/frame_codec.h"
#include "hubsim/hub_rack.h"
#include "platform/event_loop_waits.h"
#include "platform/qt_serial_port.h"
#include "platform/thread_writer.h"
#include "rack/rack_model.h"
#include "tiles/tile_switches.h"
#include "ui/styled_button.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

namespace {
struct Rig {
    QTemporaryDir dir;
    HubRack rack{dir.path()};
    QuietSpeech speech;
    QtSerialPortFactory serialPorts{dir.path()};
    EventLoopWaits waits;
    QuietDialogs dialogs;
    QuietNetwork network;
    QuietTune tune;
    ThreadWriter writer;
    std::unique_ptr<Program> program;

    // Eight boards, one per link, found by a query run.
    bool start() {
        for (int k = 1; k <= LinkCount; ++k)
            rack.addBoard(k, quint16(0x0100 + k));
        program = std::make_unique<Program>(
            Services{speech, serialPorts, waits, dialogs, network, tune, writer}, dir.path());
        program->window().ui().probeWaitList->setCurrentIndex(0);
        program->window().ui().connectButton->click();
        for (int k = 1; k <= LinkCount; ++k) {
            if (!program->rack().isFound(k))
                return false;
        }
        return true;
    }
    int tilesOn() const {
        int on = 0;
        for (int tile = 1; tile <= TileCount; ++tile)
            on += program->window().tile(tile).button->text() == QStringLiteral("已打开");
        return on;
    }
};
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);

    {
        Rig rig;
        if (!rig.start()) {
            std::printf("the boards were not found\n");
            return 1;
        }
        // The intent kept before the frame goes out, then the echo handled straight away, as
        // its last byte arrives, and the write that keeps the confirmation: each until the
        // writer has answered.
        Context& context = rig.program->context();
        std::vector<double> intents;
        std::vector<double> confirmations;
        for (int n = 1; n <= 60; ++n) {
            const int tile = n % 42 + 1;
            const bool on = context.rack.state(tile) != SlotState::On;
            const LinkState& link = context.state.links[0];
            const QString frame =
                frame::switchText(byte_to_hex(context.rack.port(1)), link.deviceNumber, tile,
                                  on ? frame::Command::On : frame::Command::Off);
            TileSwitches switches(context);
            QEventLoop answered;
            intents.push_back(timeMs([&] {
                switches.send({tile}, on, RackEvents::Cause::Click,
                              [&answered](bool) { answered.quit(); });
                answered.exec();
            }));
            const auto kept = QObject::connect(&context.rack, &RackModel::switchKept, &answered,
                                               &QEventLoop::quit);
            confirmations.push_back(timeMs([&] {
                switches.onEcho(1, frame);
                context.rack.flush();
                answered.exec();
            }));
            QObject::disconnect(kept);
        }
        report("one switch's intent kept and its frame sent (median)", median(intents), "ms", "-");
        report("one confirmation until its store write is synced (median)", median(confirmations),
               "ms", "-");
    }

    {
        Rig rig;
        if (!rig.start()) {
            std::printf("the boards were not found\n");
            return 1;
        }
        // Every board holds its echoes back a little, so that all 336 come in one burst.
        for (int k = 1; k <= LinkCount; ++k)
            rig.rack.setFault(k, HubRack::Fault::LateReply, 300);
        const double clicks = timeMs([&] {
            for (int tile = 1; tile <= TileCount; ++tile)
                rig.program->window().tile(tile).button->click();
        });
        StallMeter meter;
        const double burst = meter.measure([&] {
            QElapsedTimer limit;
            limit.start();
            while (rig.tilesOn() != TileCount && limit.elapsed() < 10'000)
                rig.waits.wait(5);
        });
        report("336 tile clicks in a row, frames sent", clicks, "ms", "-");
        report("longest busy stretch while 336 echoes are confirmed and kept", burst, "ms",
               "< 50 ms");
        report("tiles confirmed", rig.tilesOn(), "tiles", "336");
    }
    return 0;
}
