#pragma once

#include "platform/services.h"

#include <QString>
#include <QStringList>

#include <functional>

class Program;

// Shows the program's window and runs the event loop until the window has closed; the result
// is the process's exit code. whenShown runs once the window is shown. The control channel for
// scripts listens once the network module is loaded from the first of moduleDirs that has it.
// While another program runs on programDir, that one is raised instead and the result is 1.
int runProgram(Services services, const QString& programDir,
               const std::function<void(Program&)>& whenShown = {},
               const QStringList& moduleDirs = {});
