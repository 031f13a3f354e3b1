// The operator's own commands: a remark search over the whole store, the unbind reset, one
// remark save, and the longest stretch the user-interface thread spends without handling an
// event during a connect run, a search and an unbind (waits that the commands make on purpose
// handle events, so they do not count).
#include "bench_stats.h"
#include "quiet_services.h"

#include "app/program.h"
#include "hubsim/hub_rack.h"
#include "ops/screen_procedures.h"
#include "ops/stage_controls.h"
#include "platform/event_loop_waits.h"
#include "platform/qt_serial_port.h"
#include "platform/thread_writer.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "ui/drop_list.h"
#include "ui/remark_box.h"
#include "ui/styled_button.h"
#include "ui/text_box.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

namespace {
// Waits that return at once: the search without its blinking.
class NoWaits : public Waits {
public:
    void wait(int) override {}
    void processPendingEvents() override {}
    qint64 nowMs() const override { return clock_.elapsed(); }
    void callAfter(int ms, QObject* receiver, std::function<void()> call) override {
        QTimer::singleShot(ms, receiver, std::move(call));
    }

private:
    QElapsedTimer clock_ = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
};

// A bound program whose remark store holds a remark on every tile.
struct Rig {
    QTemporaryDir dir;
    QuietSpeech speech;
    QtSerialPortFactory serialPorts{dir.path()};
    AgreeingDialogs dialogs;
    QuietNetwork network;
    QuietTune tune;
    ThreadWriter writer;
    std::unique_ptr<Program> program;

    void start(Waits& waits) {
        program = std::make_unique<Program>(
            Services{speech, serialPorts, waits, dialogs, network, tune, writer}, dir.path());
    }
    // In the file before the next start reads it.
    void fillRemarks() {
        {
            TableStore store{writer};
            const StoreSession remarks(store, dir.path() + stores::RemarkFile, stores::RemarkAlias);
            TableStore::Batch batch(store);
            for (int record = 2; record <= stores::WalkedRemarkRecords; ++record) {
                store.skip();
                store.writeField(stores::RemarkField, QStringLiteral("机柜%1号位设备").arg(record));
            }
        }
        writer.drain();
    }
    const MainWindow::Controls& ui() const { return program->window().ui(); }
    void search(const QString& text) {
        ui().searchText->setEnabled(true);
        ui().searchButton->setEnabled(true);
        ui().searchText->setText(text);
        ui().searchButton->click();
    }
};
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    constexpr int Rounds = 30;

    {
        NoWaits waits;
        Rig rig;
        rig.start(waits);
        rig.fillRemarks();
        rig.program.reset();
        rig.start(waits);
        std::vector<double> oneHit, manyHits;
        for (int i = 0; i < Rounds; ++i) {
            oneHit.push_back(timeMs([&] { rig.search(QStringLiteral("机柜200号")); }));
            manyHits.push_back(timeMs([&] { rig.search(QStringLiteral("号位")); }));
        }
        report("search over 339 records, one hit, no blink (median)", median(oneHit), "ms",
               "< 2 ms");
        report("search over 339 records, 337 hits, no blink (median)", median(manyHits), "ms", "-");
    }

    {
        NoWaits waits;
        std::vector<double> unbinds, saves;
        for (int i = 0; i < 10; ++i) {
            Rig rig;
            rig.start(waits);
            rig.fillRemarks();
            offerUnbind(rig.program->context(), true);
            unbinds.push_back(timeMs([&] { rig.ui().unbindButton->click(); }));
        }
        report("unbind with 337 remarks, full reset (median of 10)", median(unbinds), "ms",
               "< 30 ms");

        Rig rig;
        rig.start(waits);
        offerUnbind(rig.program->context(), true);
        rig.program->window().show();
        linkFound(rig.program->context(), 3, QStringLiteral("端口3"));
        for (int i = 0; i < Rounds; ++i) {
            RemarkBox* box = rig.program->window().tile(100 + i).remarkBox;
            emit box->gotFocus();
            box->setText(QStringLiteral("保存测试"));
            saves.push_back(timeMs([&] { emit box->keyDown(13); }));
        }
        report("one remark save through its box, committed (median)", median(saves), "ms",
               "< 10 ms");
    }

    {
        EventLoopWaits waits;
        StallMeter meter;
        Rig rig;
        HubRack rack(rig.dir.path());
        for (int port = 1; port <= 12; ++port) {
            if (port % 3 == 0)
                rack.addBoard(port, quint16(0x0100 + port));
            else
                rack.addSilentPort(port);
        }
        rig.start(waits);
        rig.fillRemarks();
        rig.program.reset();
        rig.start(waits);
        rig.ui().probeWaitList->setCurrentIndex(0);
        const double connect = meter.measure([&] { rig.ui().connectButton->click(); });
        const double search = meter.measure([&] { rig.search(QStringLiteral("号位")); });
        offerUnbind(rig.program->context(), true);
        const double unbind = meter.measure([&] { rig.ui().unbindButton->click(); });
        report("longest busy stretch, query run over 8 links (ptys)", connect, "ms", "< 50 ms");
        report("longest busy stretch, search with 337 hits and blink", search, "ms", "< 50 ms");
        report("longest busy stretch, unbind with 337 remarks", unbind, "ms", "< 50 ms");
    }
    return 0;
}
