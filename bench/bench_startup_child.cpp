// One start of the program as main() starts it, in the directory given as the argument; prints
// the peak RSS once the window is shown and the event loop has gone idle, then closes.
#include "process_figures.h"

#include "app/program.h"
#include "app/run_program.h"
#include "platform/espeak_speech.h"
#include "platform/event_loop_waits.h"
#include "platform/loaded_network.h"
#include "platform/pcaudio_tune.h"
#include "platform/qt_dialogs.h"
#include "platform/qt_serial_port.h"
#include "platform/thread_writer.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QString programDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    PcaudioTune tune;
    ThreadWriter writer;
    EspeakSpeech speech;
    QtSerialPortFactory serialPorts(programDir);
    EventLoopWaits waits;
    QtDialogs dialogs;
    LoadedNetwork network({QStringLiteral(NETWORK_MODULE_DIR)});
    return runProgram(Services{speech, serialPorts, waits, dialogs, network, tune, writer},
                      programDir, [](Program& program) {
                          // A zero timer fires once every pending event has been handled.
                          QTimer::singleShot(0, &program.window(), [&program] {
                              printIdleFigures();
                              program.window().close();
                          });
                      });
}
