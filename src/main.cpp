#include "app/program.h"
#include "platform/espeak_speech.h"
#include "platform/event_loop_waits.h"
#include "platform/qt_dialogs.h"
#include "platform/qt_serial_port.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QString programDir = QCoreApplication::applicationDirPath();

    EspeakSpeech speech;
    QtSerialPortFactory serialPorts(programDir);
    EventLoopWaits waits;
    QtDialogs dialogs;
    Program program(Services{speech, serialPorts, waits, dialogs}, programDir);
    dialogs.setParentWindow(&program.window());
    program.window().show();
    program.window().fitDesignSize();
    app.exec();
    return 0;
}
