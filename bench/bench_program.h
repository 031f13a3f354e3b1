#pragma once

#include "quiet_services.h"

#include "app/program.h"
#include "platform/event_loop_waits.h"
#include "platform/qt_serial_port.h"
#include "platform/thread_writer.h"

#include <QComboBox>
#include <QPushButton>

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
