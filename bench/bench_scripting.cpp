// Scripts' round trips: from `hubrixctl on 5` to its confirmed reply, through the control
// channel, the tile click and the simulated board over a pseudo-terminal; what a status and a
// get with all 336 tiles on cost; a connect of eight boards from a script; and 50 power cycles
// at once, each off time measured where it matters, at its board.
#include "bench_program.h"
#include "bench_stats.h"

#include "hub/dimensions.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <ctime>
#include <map>
#include <optional>

namespace {
constexpr int Cycles = 50;
constexpr int ConnectRuns = 5;

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

// The serial port number of each found link, from a status reply.
std::map<int, int> portsOfLinks(const QByteArray& status) {
    std::map<int, int> ports;
    for (const QJsonValue& link :
         QJsonDocument::fromJson(status).object().value("links").toArray()) {
        if (link.toObject().value("found").toBool())
            ports[link.toObject().value("link").toInt()] = link.toObject().value("port").toInt();
    }
    return ports;
}

// `hubrixctl connect` finding all eight boards, from request to reply, each run after a
// `hubrixctl disconnect`, at the probe wait the window starts with.
void benchConnect(ScriptedRack& rack, QLocalSocket& socket, const QStringList& dirArgument) {
    std::vector<double> runs;
    int exitCode = 0;
    std::printf("hubrixctl connect, 8 boards on ports 1 ... 8, probe wait %s ms:",
                qPrintable(rack.quiet.program.window().ui().probeWaitList->currentText()));
    for (int run = 0; run < ConnectRuns; ++run) {
        if (run > 0)
            hubrixctlMs(dirArgument + QStringList{"disconnect", "--yes"}, &exitCode);
        runs.push_back(hubrixctlMs(dirArgument + QStringList{"connect"}, &exitCode));
        std::printf(" %.0f ms (exit %d)", runs.back(), exitCode);
    }
    std::printf("; %zu links found\n", portsOfLinks(ask(socket, R"({"cmd":"status"})")).size());
    report("hubrixctl connect of 8 boards, request to reply (median)", median(runs), "ms", "-");
}

// "SECONDS board DEV on port P: slot S on|off", as hubsim --times prints a switch.
struct BoardSwitch {
    double seconds;
    int port;
    int slot;
    bool on;
};

std::vector<BoardSwitch> boardSwitches(const QString& log) {
    QFile file(log);
    std::vector<BoardSwitch> switches;
    if (!file.open(QIODevice::ReadOnly))
        return switches;
    while (!file.atEnd()) {
        const QList<QByteArray> words = file.readLine().simplified().split(' ');
        if (words.size() == 9 && words[3] == "on" && words[4] == "port" && words[6] == "slot")
            switches.push_back({words[0].toDouble(), words[5].chopped(1).toInt(), words[7].toInt(),
                                words[8] == "on"});
    }
    return switches;
}

double seconds(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double monotonicSeconds() {
    return seconds(CLOCK_MONOTONIC);
}

// The machine's load over the last minute: other work on it shows in the timings.
QByteArray loadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').value(0) : "?";
}

struct Cycle {
    int tile;
    int offMs;
};

// Tiles spread over the eight boards, each with its own off time between 0.5 and 5 s, and not
// in the order of the tiles, so that a board's neighbouring slots end their cycles apart.
std::vector<Cycle> spreadCycles() {
    std::vector<Cycle> cycles;
    for (int i = 0; i < Cycles; ++i)
        cycles.push_back({3 + 6 * i, 500 + (i * 17 % Cycles) * 4500 / (Cycles - 1)});
    return cycles;
}

// Starts a hubrixctl for each TILE MS pair in the background, as a script would, and prints
// "TILE STATUS WHAT IT PRINTED" as each ends. Starting them from this thread instead would hold
// up the program, which answers here, for each start.
const char* const CycleScript = R"(ctl=$1; dir=$2; shift 2
while [ $# -gt 0 ]; do
    (said=$("$ctl" --dir "$dir" cycle "$1" --off-ms "$2" 2>&1); echo "$1 $? $said") &
    shift 2
done
wait)";

// What the script and the program did, on the clock of the simulator's stamps.
struct CycleRun {
    double started = 0;
    double wallMs = 0;
    // CPU time of this thread, the program's: what it spent against what the machine gave it.
    double cpuMs = 0;
    double longestStallMs = 0;
    // Per tile: hubrixctl's exit status and what it printed.
    std::map<int, std::pair<int, QByteArray>> ended;
    // Per tile: when the program handed its last off frame to the serial port (once its intent
    // was kept), and the on frame after it.
    std::map<int, std::pair<double, double>> handed;
};

CycleRun runCycles(ScriptedRack& rack, const std::vector<Cycle>& cycles) {
    CycleRun run;
    const QMetaObject::Connection watching =
        QObject::connect(&rack.quiet.program.context().events, &RackEvents::switchRequested,
                         [&run](int tile, bool on, RackEvents::Cause) {
                             auto& [off, onAgain] = run.handed[tile];
                             (on ? onAgain : off) = monotonicSeconds();
                         });
    QStringList arguments{"-c", CycleScript, "sh", tool(QStringLiteral("hubrixctl/hubrixctl")),
                          rack.dir.path()};
    for (const Cycle& each : cycles)
        arguments << QString::number(each.tile) << QString::number(each.offMs);
    QProcess script;
    QEventLoop loop;
    QObject::connect(&script, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(30'000, &loop, &QEventLoop::quit);
    run.started = monotonicSeconds();
    const double cpu = seconds(CLOCK_THREAD_CPUTIME_ID);
    script.start(QStringLiteral("sh"), arguments);
    StallMeter stalls;
    run.longestStallMs = stalls.measure([&loop] { loop.exec(); });
    run.cpuMs = (seconds(CLOCK_THREAD_CPUTIME_ID) - cpu) * 1000;
    run.wallMs = (monotonicSeconds() - run.started) * 1000;
    QObject::disconnect(watching);
    for (const QByteArray& line : script.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() >= 2)
            run.ended[words[0].toInt()] = {words[1].toInt(),
                                           line.mid(words[0].size() + words[1].size() + 2)};
    }
    return run;
}

// The last off frame a slot received and the on frame after it, in seconds; none when the
// board did not see both.
std::optional<std::pair<double, double>> offAndOn(const std::vector<BoardSwitch>& switches,
                                                  int port, int slot) {
    double off = -1;
    double on = -1;
    for (const BoardSwitch& seen : switches) {
        if (seen.port != port || seen.slot != slot)
            continue;
        if (!seen.on) {
            off = seen.seconds;
            on = -1;
        } else if (off >= 0 && on < 0) {
            on = seen.seconds;
        }
    }
    if (off < 0 || on < 0)
        return std::nullopt;
    return std::pair{off, on};
}

// 50 `hubrixctl cycle TILE --off-ms MS` at once, each off time measured at the board: from
// the off frame to the on frame it received, as the simulator's log stamps them. Beside it,
// the same span in the program, from handing over the off frame to handing over the on
// frame: where the two differ, the frames took different times to the board; where the
// program's span is off too, its timers ran late or its frames left late.
void benchCycles(ScriptedRack& rack, QLocalSocket& socket, const QString& log) {
    const std::vector<Cycle> cycles = spreadCycles();
    QJsonArray tiles;
    for (const Cycle& each : cycles)
        tiles.append(each.tile);
    const QByteArray switchedOn = ask(
        socket,
        QJsonDocument(QJsonObject{{"cmd", "on"}, {"tiles", tiles}}).toJson(QJsonDocument::Compact));
    const std::map<int, int> ports = portsOfLinks(ask(socket, R"({"cmd":"status"})"));
    CycleRun run = runCycles(rack, cycles);
    std::printf("\n%d power cycles at once (tiles on first: %s; load average %s), %zu of %d "
                "hubrixctl ended\n",
                Cycles,
                QJsonDocument::fromJson(switchedOn).object().value("ok").toBool() ? "confirmed"
                                                                                  : "NOT confirmed",
                loadAverage().constData(), run.ended.size(), Cycles);

    const std::vector<BoardSwitch> switches = boardSwitches(log);
    std::printf("tile  port slot  exit  off frame at ms  asked ms  in the program ms  at the "
                "board ms   error\n");
    double worst = 0;
    int within = 0;
    int measured = 0;
    for (const Cycle& each : cycles) {
        const int link = (each.tile - 1) / SlotsPerLink + 1;
        const int port = ports.count(link) ? ports.at(link) : 0;
        const int slot = (each.tile - 1) % SlotsPerLink + 1;
        const int exit = run.ended.count(each.tile) ? run.ended[each.tile].first : -1;
        const auto atBoard = offAndOn(switches, port, slot);
        if (!atBoard) {
            std::printf("%4d  %4d %4d  %4d  %15s  %8d  no off and on frame seen\n", each.tile, port,
                        slot, exit, "-", each.offMs);
            continue;
        }
        const auto [off, on] = *atBoard;
        const auto [handedOff, handedOn] = run.handed[each.tile];
        const double ms = (on - off) * 1000;
        const double error = (ms - each.offMs) / each.offMs * 100;
        std::printf("%4d  %4d %4d  %4d  %15.1f  %8d  %17.1f  %15.1f  %+6.2f %%\n", each.tile, port,
                    slot, exit, (off - run.started) * 1000, each.offMs,
                    (handedOn - handedOff) * 1000, ms, error);
        ++measured;
        worst = std::max(worst, std::abs(error));
        within += std::abs(error) <= 10 ? 1 : 0;
    }
    std::printf("(off frame at: when the board received it, after the script was started)\n");
    for (const auto& [tile, ended] : run.ended) {
        if (ended.first != 0)
            std::printf("tile %d: hubrixctl exited %d: %s\n", tile, ended.first,
                        ended.second.constData());
    }
    std::printf("off times measured at the board: %d of %d; within 10 %%: %d; worst error "
                "%.2f %%\n",
                measured, Cycles, within, worst);
    report("longest the program's thread handled no event meanwhile", run.longestStallMs, "ms",
           "-");
    std::printf("the program's thread used %.0f ms of CPU in the %.0f ms the cycles took\n",
                run.cpuMs, run.wallMs);
}
} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The simulator stamps the frames its boards receive; the cycles' off times are read there.
    QTemporaryDir logDir;
    const QString log = logDir.filePath(QStringLiteral("hubsim.log"));
    ScriptedRack rack({"--times"}, log);
    if (!rack.listen())
        return 1;
    const QStringList dirArgument{"--dir", rack.dir.path()};

    QLocalSocket socket;
    socket.connectToServer(rack.socketPath());
    socket.waitForConnected(2000);
    benchConnect(rack, socket, dirArgument);

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
    benchCycles(rack, socket, log);
    return 0;
}
