#include "app/run_program.h"

#include "app/directory_lock.h"
#include "app/other_program.h"
#include "app/program.h"
#include "mqtt/mqtt_bridge.h"
#include "platform/control_address.h"
#include "script/control_channel.h"
#include "ui/status_line.h"

#include <QApplication>
#include <QScopeGuard>
#include <QTimer>

namespace {
void bringToFront(QWidget& window) {
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}
} // namespace

int runProgram(Services services, const QString& programDir,
               const std::function<void(Program&)>& whenShown, const QStringList& moduleDirs) {
    // Before the stores are opened or a port is probed: they belong to the other program.
    DirectoryLock lock(programDir);
    if (!lock.take())
        return other_program::yieldTo(programDir, services.dialogs);
    // Let go after the program and before the lock: a Hubrix started next in this directory
    // must find every write the program accepted already in the files.
    const auto writesLanded = qScopeGuard([&services] { services.writer.drain(); });
    Program program(services, programDir);
    program.window().show();
    program.window().fitDesignSize();
    // Scripts reach the window through the channel, which comes from the network module once the
    // window is up; the window works the same without it.
    std::unique_ptr<ControlChannel> channel;
    // Without it the operator learns why in the status line, and hubrixctl from the lock file.
    const auto unavailable = [&](const QString& reason) {
        qWarning("hubrix: no control channel for scripts: %s", qPrintable(reason));
        program.window().ui().statusLine->showLine(QStringLiteral("脚本通道不可用：") + reason);
        lock.noteChannelProblem(reason);
    };
    QTimer::singleShot(0, &program.window(), [&] {
        std::unique_ptr<ControlListener> listener = loadControlListener(moduleDirs);
        if (!listener) {
            if (!moduleDirs.isEmpty())
                unavailable(QStringLiteral("the network module is missing"));
            return;
        }
        const QString path = control_address::socketPath(programDir);
        if (path.isEmpty()) {
            unavailable(control_address::noRuntimeDirectoryReason());
            return;
        }
        channel = std::make_unique<ControlChannel>(program.context(), std::move(listener));
        QObject::connect(channel.get(), &ControlChannel::raiseRequested, &program.window(),
                         [&program] { bringToFront(program.window()); });
        if (!channel->listen(path)) {
            unavailable(channel->errorString());
            channel.reset();
        }
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
