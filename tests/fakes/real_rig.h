#pragma once

#include "app/program.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_network.h"
#include "fakes/fake_speech.h"
#include "fakes/fake_tune.h"
#include "hubsim/hub_rack.h"
#include "platform/event_loop_waits.h"
#include "platform/qt_serial_port.h"
#include "platform/thread_writer.h"
#include "ui/styled_button.h"

#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// A program on the real serial code and real waits, in a fresh directory of its own whose
// ports/ folder leads to simulated hub boards on pseudo-terminals, all on this thread's event
// loop. Speech, dialogs and the network stay fakes.
struct RealRig {
    QTemporaryDir dir;
    HubRack rack{dir.path()};
    FakeSpeech speech;
    QtSerialPortFactory serialPorts{dir.path()};
    EventLoopWaits waits;
    FakeDialogs dialogs;
    FakeNetwork network;
    FakeTune tune;
    ThreadWriter writer;
    std::unique_ptr<Program> program;

    // Probes with the shortest wait, 60 ms.
    Program& start() {
        program = std::make_unique<Program>(
            Services{speech, serialPorts, waits, dialogs, network, tune, writer}, dir.path());
        program->window().ui().probeWaitList->setCurrentIndex(0);
        return *program;
    }
    // The program ends without asking, as a stopped process does once every write it accepted
    // has landed: the files can be read, or the next start() made, at once.
    void end() {
        program.reset();
        writer.drain();
    }
    // The operator closes the window; the program ends as it does at the end of a run.
    void close() {
        QVERIFY(program->window().close());
        end();
    }
    const MainWindow::Controls& ui() const { return program->window().ui(); }
    StyledButton* tile(int n) const { return program->window().tile(n).button; }
    QString path(const QString& file) const { return dir.path() + file; }
};
