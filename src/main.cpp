#include "app/program_directory.h"
#include "app/run_program.h"
#include "app/toolkit_translations.h"
#include "platform/espeak_speech.h"
#include "platform/event_loop_waits.h"
#include "platform/pcaudio_tune.h"
#include "platform/qt_dialogs.h"
#include "platform/qt_network.h"
#include "platform/qt_serial_port.h"

#include <QApplication>

int main(int, char* argv[]) {
    // The program has no command line: Qt sees only the program's name, so none of its own
    // options (-reverse, -style, ...) can change the window.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    loadToolkitTranslations();
    const QByteArray executable = program_directory::executablePath();
    const std::optional<QString> directory = program_directory::fromExecutablePath(executable);
    if (!directory) {
        // Nothing is written and no serial port is probed from a directory the program
        // cannot name: its files would land elsewhere and its ports/ folder be missed.
        QtDialogs dialogs;
        static_cast<Dialogs&>(dialogs).show(program_directory::unusableMessage(executable),
                                            QStringLiteral("Hubrix"), Dialogs::Icon::Warning,
                                            Dialogs::Buttons::Ok);
        return 1;
    }
    const QString programDir = *directory;
    PcaudioTune tune;
    EspeakSpeech speech;
    QtSerialPortFactory serialPorts(programDir);
    EventLoopWaits waits;
    QtDialogs dialogs;
    QtNetwork network;
    return runProgram(Services{speech, serialPorts, waits, dialogs, network, tune}, programDir);
}
