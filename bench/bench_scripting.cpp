// Scripts' round trips: from `hubrixctl on 5` to its confirmed reply, through the control
// channel, the tile click and the simulated board over a pseudo-terminal; and what a status
// and a get with all 336 tiles on cost.
#include "bench_program.h"
#include "bench_stats.h"
#include "simulator_process.h"

#include "app/program.h"
#include "platform/control_address.h"
#include "platform/control_server.h"
#include "platform/event_loop_waits.h"
#include "platform/qt_serial_port.h"
#include "script/control_channel.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

namespace {
QString tool(const QString& path) {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/") + path;
}

// One request over an open connection, the program answering on this thread; its final
// reply, past any progress lines.
QByteArray ask(QLocalSocket& socket, const QByteArray& request) {
    socket.write(request + '\n');
    for (;;) {
        QEventLoop loop;
        QObject::connect(&socket, &QLocalSocket::readyRead, &loop, [&] {
            if (socket.canReadLine())
                loop.quit();
        });
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        if (!socket.canReadLine())
            loop.exec();
        const QByteArray line = socket.readLine();
        if (!line.startsWith(R"({"progress")"))
            return line;
    }
}

// hubrixctl as a process, from its start to its exit.
double hubrixctlMs(const QStringList& arguments, int* exitCode) {
    QProcess child;
    QEventLoop loop;
    QObject::connect(&child, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10'000, &loop, &QEventLoop::quit);
    const double ms = timeMs([&] {
        child.start(tool(QStringLiteral("hubrixctl/hubrixctl")), arguments);
        loop.exec();
    });
    *exitCode = child.exitCode();
    return ms;
}
} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());

    QTemporaryDir dir;
    QStringList boards;
    for (int port = 1; port <= 8; ++port)
        boards << "--board" << QString::number(port) + ":010" + QString::number(port);
    SimulatorProcess simulator(dir.path(), boards, 8);
    QuietProgram quiet(dir.path());
    quiet.connect();
    Program& program = quiet.program;
    ControlChannel channel(program.context(), std::make_unique<ControlServer>());
    if (!channel.listen(control_address::socketPath(dir.path()))) {
        std::printf("no control channel: %s\n", qPrintable(channel.errorString()));
        return 1;
    }

    QLocalSocket socket;
    socket.connectToServer(control_address::socketPath(dir.path()));
    socket.waitForConnected(2000);
    std::vector<double> onReplies;
    int unconfirmed = 0;
    for (int i = 0; i < 200; ++i) {
        const QByteArray request =
            i % 2 ? R"({"cmd":"off","tiles":[5]})" : R"({"cmd":"on","tiles":[5]})";
        QByteArray reply;
        const double ms = timeMs([&] { reply = ask(socket, request); });
        if (!reply.contains(R"("ok":true)"))
            ++unconfirmed;
        if (i % 2 == 0)
            onReplies.push_back(ms);
    }
    std::printf("Wire floor: two 12-byte frames at 115200 bit/s = 2.1 ms; %d of 200 unconfirmed\n",
                unconfirmed);
    report("on 5 to confirmed reply, open connection (median)", median(onReplies), "ms", "-");

    std::vector<double> processReplies;
    const QStringList dirArgument{"--dir", dir.path()};
    for (int i = 0; i < 40; ++i) {
        int exitCode = 0;
        const double ms =
            hubrixctlMs(dirArgument + QStringList{i % 2 ? "off" : "on", "5"}, &exitCode);
        if (i % 2 == 0)
            processReplies.push_back(ms);
    }
    report("hubrixctl on 5, process start to exit (median)", median(processReplies), "ms",
           "< 10 ms");

    int exitCode = 0;
    const double allOn = hubrixctlMs(dirArgument + QStringList{"on", "1-336"}, &exitCode);
    std::printf("hubrixctl on 1-336: %.1f ms, exit %d\n", allOn, exitCode);
    std::vector<double> statusReplies;
    qsizetype bytes = 0;
    for (int i = 0; i < 200; ++i) {
        statusReplies.push_back(timeMs([&] { bytes = ask(socket, R"({"cmd":"status"})").size(); }));
    }
    std::printf("status with %lld tiles on: %lld bytes\n",
                qlonglong(QJsonDocument::fromJson(ask(socket, R"({"cmd":"status"})"))
                              .object()
                              .value("on")
                              .toArray()
                              .size()),
                qlonglong(bytes));
    report("status request, open connection (median)", median(statusReplies), "ms", "-");
    std::vector<double> statusProcess;
    for (int i = 0; i < 20; ++i)
        statusProcess.push_back(
            hubrixctlMs(dirArgument + QStringList{"status", "--json"}, &exitCode));
    report("hubrixctl status --json, 336 tiles on (median)", median(statusProcess), "ms", "-");

    // get reads the tiles' words only, for one tile and for the whole rack.
    std::vector<double> getOne;
    std::vector<double> getAll;
    QByteArray allTiles = R"({"cmd":"get","tiles":[)";
    for (int tile = 1; tile <= 336; ++tile)
        allTiles += QByteArray::number(tile) + (tile < 336 ? "," : "]}");
    for (int i = 0; i < 200; ++i) {
        getOne.push_back(timeMs([&] { ask(socket, R"({"cmd":"get","tiles":[5]})"); }));
        getAll.push_back(timeMs([&] { bytes = ask(socket, allTiles).size(); }));
    }
    report("get 5, open connection (median)", median(getOne), "ms", "-");
    std::printf("get 1-336: %lld bytes\n", qlonglong(bytes));
    report("get 1-336, open connection (median)", median(getAll), "ms", "-");
    std::vector<double> getProcess;
    for (int i = 0; i < 20; ++i)
        getProcess.push_back(hubrixctlMs(dirArgument + QStringList{"get", "1-336"}, &exitCode));
    report("hubrixctl get 1-336, process start to exit (median)", median(getProcess), "ms", "-");
    std::printf("hubrixctl get 1-336 exit %d (0: all on)\n", exitCode);
    hubrixctlMs(dirArgument + QStringList{"off", "1-336"}, &exitCode);
    return 0;
}
