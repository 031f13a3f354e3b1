#include "app/run_program.h"
#include "platform/espeak_speech.h"
#include "platform/event_loop_waits.h"
#include "platform/qt_dialogs.h"
#include "platform/qt_network.h"
#include "platform/qt_serial_port.h"

#include <QApplication>

int main(int, char* argv[]) {
    // The program has no command line: Qt sees only the program's name, so none of its own
    // options (-reverse, -style, ...) can change the window.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const QString programDir = QCoreApplication::applicationDirPath();
    EspeakSpeech speech;
    QtSerialPortFactory serialPorts(programDir);
    EventLoopWaits waits;
    QtDialogs dialogs;
    QtNetwork network;
    return runProgram(Services{speech, serialPorts, waits, dialogs, network}, programDir);
}
