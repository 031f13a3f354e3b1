#pragma once

#include "quiet_services.h"
#include "simulator_process.h"

#include "app/program.h"
#include "platform/control_address.h"
#include "platform/control_server.h"
#include "platform/event_loop_waits.h"
#include "platform/qt_serial_port.h"
#include "platform/thread_writer.h"
#include "script/control_channel.h"

#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>

// The real program on quiet services, in a directory whose ports/ the simulated boards fill.
struct QuietProgram {
    explicit QuietProgram(const QString& dir)
        : serialPorts(dir),
          program(Services{speech, serialPorts, waits, dialogs, network, tune, writer}, dir) {}

    // With the shortest probe wait, as a click on 连接设备 finds the boards there.
    void connect() {
        program.window().ui().probeWaitList->setCurrentIndex(0);
        program.window().ui().connectButton->click();
    }

    QuietSpeech speech;
    QtSerialPortFactory serialPorts;
    EventLoopWaits waits;
    QuietDialogs dialogs;
    QuietNetwork network;
    QuietTune tune;
    ThreadWriter writer;
    Program program;
};

// What scripts talk to: eight simulated boards (SimulatorProcess::eightBoards), the program
// in their directory, not yet connected, and its control channel once listen() has made it.
// The channel's socket lies in a runtime directory of the benchmark's own, which the clients
// it starts inherit.
struct ScriptedRack {
    // simulatorOptions and simulatorOutput as SimulatorProcess takes them.
    explicit ScriptedRack(const QStringList& simulatorOptions = {},
                          const QString& simulatorOutput = QProcess::nullDevice())
        : simulator(dir.path(), SimulatorProcess::eightBoards() + simulatorOptions, 8,
                    simulatorOutput),
          quiet(dir.path()), channel(quiet.program.context(), std::make_unique<ControlServer>()) {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    }

    QString socketPath() const { return control_address::socketPath(dir.path()); }

    // False, having said why, when the channel could not be made.
    bool listen() {
        if (channel.listen(socketPath()))
            return true;
        std::printf("no control channel: %s\n", qPrintable(channel.errorString()));
        return false;
    }

    QTemporaryDir runtime;
    QTemporaryDir dir;
    SimulatorProcess simulator;
    QuietProgram quiet;
    ControlChannel channel;
};
