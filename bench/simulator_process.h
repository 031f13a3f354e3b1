#pragma once

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QThread>

// The board simulator as its own process, as an operator's rack would be, so that only the
// program's own work is counted. Ready once it has linked ports/COM<lastPort>. What it prints
// goes to output, a file that a benchmark reads afterwards, or nowhere.
class SimulatorProcess {
public:
    SimulatorProcess(const QString& dir, const QStringList& arguments, int lastPort,
                     const QString& output = QProcess::nullDevice()) {
        const QString hubsim = QCoreApplication::applicationDirPath() + "/../tools/hubsim/hubsim";
        process_.setStandardOutputFile(output);
        process_.start(hubsim, QStringList{"--dir", dir} + arguments);
        const QString last = dir + "/ports/COM" + QString::number(lastPort);
        for (int i = 0; i < 100 && !QFileInfo::exists(last); ++i)
            QThread::msleep(20);
    }
    ~SimulatorProcess() {
        process_.terminate();
        process_.waitForFinished(3000);
    }
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // A board on each of ports 1 ... 8, device numbers 0101 ... 0108.
    static QStringList eightBoards() {
        QStringList boards;
        for (int port = 1; port <= 8; ++port)
            boards << "--board" << QString::number(port) + ":010" + QString::number(port);
        return boards;
    }

private:
    QProcess process_;
};
