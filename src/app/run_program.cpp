#include "app/run_program.h"

#include "app/program.h"
#include "platform/control_address.h"
#include "script/control_channel.h"

#include <QApplication>

int runProgram(Services services, const QString& programDir,
               const std::function<void(Program&)>& whenShown) {
    Program program(services, programDir);
    program.window().show();
    program.window().fitDesignSize();
    // Scripts reach the window through the channel; the window works the same without it.
    ControlChannel channel(program.context());
    if (!channel.listen(control_address::socketPath(programDir)))
        qWarning("hubrix: no control channel for scripts: %s", qPrintable(channel.errorString()));
    if (whenShown)
        whenShown(program);
    QApplication::exec();
    return 0;
}
