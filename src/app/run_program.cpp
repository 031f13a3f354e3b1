#include "app/run_program.h"

#include "app/program.h"

#include <QApplication>

int runProgram(Services services, const QString& programDir,
               const std::function<void(Program&)>& whenShown) {
    Program program(services, programDir);
    program.window().show();
    program.window().fitDesignSize();
    if (whenShown)
        whenShown(program);
    QApplication::exec();
    return 0;
}
