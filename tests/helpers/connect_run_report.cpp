// One query-and-connect run of the program on its real serial code and real waits, in the
// program directory given as the only argument; prints every box it shows as one line of
// text, title and detail separated by tabs. test_refused_port starts it under an account
// that may not open some of that directory's serial devices.
#include "app/program.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_network.h"
#include "fakes/fake_speech.h"
#include "fakes/fake_tune.h"
#include "platform/event_loop_waits.h"
#include "platform/qt_serial_port.h"
#include "platform/thread_writer.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2)
        return 2;
    const QString programDir = QString::fromLocal8Bit(argv[1]);
    FakeSpeech speech;
    QtSerialPortFactory serialPorts(programDir);
    EventLoopWaits waits;
    FakeDialogs dialogs;
    FakeNetwork network;
    FakeTune tune;
    ThreadWriter writer;
    Program program(Services{speech, serialPorts, waits, dialogs, network, tune, writer},
                    programDir);
    program.window().ui().probeWaitList->setCurrentIndex(0);
    program.window().ui().connectButton->click();
    for (const FakeDialogs::Shown& box : dialogs.shown) {
        const QString line = box.text + u'\t' + box.title + u'\t' + box.detail + u'\n';
        std::fputs(line.toUtf8().constData(), stdout);
    }
    return 0;
}
