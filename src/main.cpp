#include "app/run_program.h"
#include "platform/espeak_speech.h"
#include "platform/event_loop_waits.h"
#include "platform/pcaudio_tune.h"
#include "platform/qt_dialogs.h"
#include "platform/qt_network.h"
#include "platform/qt_serial_port.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QString programDir = QCoreApplication::applicationDirPath();
    // Before the speech engine, which then opens the sound device as quietly.
    PcaudioTune tune;
    EspeakSpeech speech;
    QtSerialPortFactory serialPorts(programDir);
    EventLoopWaits waits;
    QtDialogs dialogs;
    QtNetwork network;
    return runProgram(Services{speech, serialPorts, waits, dialogs, network, tune}, programDir);
}
