#include "app/program_directory.h"
#include "app/run_program.h"
#include "app/toolkit_translations.h"
#include "platform/espeak_speech.h"
#include "platform/event_loop_waits.h"
#include "platform/loaded_network.h"
#include "platform/pcaudio_tune.h"
#include "platform/qt_dialogs.h"
#include "platform/qt_serial_port.h"
#include "platform/thread_writer.h"

#include <QApplication>

int main(int, char* argv[]) {
    // The program has no command line: Qt sees only the program's name, so none of its own
    // options (-reverse, -style, ...) can change the window.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    // The user's data directory is named after the program, whatever its executable is called.
    QApplication::setApplicationName(QStringLiteral("hubrix"));
    QApplication::setApplicationVersion(QStringLiteral(HUBRIX_VERSION));
    // Lets a Wayland compositor match the window to the desktop entry and its icon.
    QApplication::setDesktopFileName(QStringLiteral("org.hubrix.Hubrix"));
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
    const std::optional<QString> storeDir = program_directory::storeDirectory(*directory);
    if (!storeDir) {
        QtDialogs dialogs;
        static_cast<Dialogs&>(dialogs).show(program_directory::noStoreDirectoryMessage(),
                                            QStringLiteral("Hubrix"), Dialogs::Icon::Warning,
                                            Dialogs::Buttons::Ok);
        return 1;
    }
    PcaudioTune tune;
    ThreadWriter writer;
    EspeakSpeech speech;
    QtSerialPortFactory serialPorts(*storeDir);
    EventLoopWaits waits;
    QtDialogs dialogs;
    // A portable copy carries the network module beside it; an installed one has it in its
    // library directory.
    const QStringList moduleDirs{*directory,
                                 *directory + QStringLiteral("/" HUBRIX_MODULE_FROM_BINDIR)};
    LoadedNetwork network(moduleDirs);
    return runProgram(Services{speech, serialPorts, waits, dialogs, network, tune, writer},
                      *storeDir, {}, moduleDirs);
}
