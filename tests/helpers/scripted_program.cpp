// A program with its control channel in a directory given, in a process of its own, so that a
// test can stop it with a signal; says "listening" once scripts can reach it.
#include "app/program.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_network.h"
#include "fakes/fake_speech.h"
#include "fakes/fake_tune.h"
#include "platform/control_address.h"
#include "platform/control_server.h"
#include "platform/event_loop_waits.h"
#include "platform/qt_serial_port.h"
#include "platform/thread_writer.h"
#include "script/control_channel.h"

#include <QApplication>
#include <QComboBox>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QString dir = QString::fromLocal8Bit(argv[1]);
    FakeSpeech speech;
    QtSerialPortFactory serialPorts(dir);
    EventLoopWaits waits;
    FakeDialogs dialogs;
    FakeNetwork network;
    FakeTune tune;
    ThreadWriter writer;
    Program program(Services{speech, serialPorts, waits, dialogs, network, tune, writer}, dir);
    // The shortest probe wait, as the rigs in the tests use.
    program.window().ui().probeWaitList->setCurrentIndex(0);
    ControlChannel channel(program.context(), std::make_unique<ControlServer>());
    if (!channel.listen(control_address::socketPath(dir))) {
        std::fprintf(stderr, "no control channel: %s\n", qPrintable(channel.errorString()));
        return 1;
    }
    std::printf("listening\n");
    std::fflush(stdout);
    return QApplication::exec();
}
