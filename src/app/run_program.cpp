#include "app/run_program.h"

#include "app/program.h"
#include "mqtt/mqtt_bridge.h"
#include "platform/control_address.h"
#include "script/control_channel.h"

#include <QApplication>
#include <QTimer>

int runProgram(Services services, const QString& programDir,
               const std::function<void(Program&)>& whenShown, const QStringList& moduleDirs) {
    Program program(services, programDir);
    program.window().show();
    program.window().fitDesignSize();
    // Scripts reach the window through the channel, which comes from the network module once the
    // window is up; the window works the same without it.
    std::unique_ptr<ControlChannel> channel;
    QTimer::singleShot(0, &program.window(), [&] {
        std::unique_ptr<ControlListener> listener = loadControlListener(moduleDirs);
        if (!listener) {
            if (!moduleDirs.isEmpty())
                qWarning("hubrix: no control channel for scripts: the network module is missing");
            return;
        }
        channel = std::make_unique<ControlChannel>(program.context(), std::move(listener));
        if (!channel->listen(control_address::socketPath(programDir)))
            qWarning("hubrix: no control channel for scripts: %s",
                     qPrintable(channel->errorString()));
    });
    // The speech engine and its sound libraries load on their own thread only once the window is
    // up and every event queued at its start (the listener's load among them) has been handled,
    // so they never hold up the first picture; the greeting waits in the engine's queue till
    // then.
    QTimer::singleShot(0, &program.window(), [&program, &services] {
        QTimer::singleShot(0, &program.window(), [&services] { services.speech.beginLoading(); });
    });
    const std::unique_ptr<MqttBridge> bridge = MqttBridge::start(program.context(), moduleDirs);
    if (whenShown)
        whenShown(program);
    QApplication::exec();
    return 0;
}
