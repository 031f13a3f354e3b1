// Switches through the broker: from a client's `set` on the broker to the program's confirmed
// `result` back on it (through the bridge, the tile click and a simulated board on a
// pseudo-terminal), and a burst of all 336 tiles at once. The broker is a real mosquitto on
// loopback; the client is libmosquitto on its own thread, as a dashboard's would be.
#include "bench_program.h"
#include "bench_stats.h"
#include "simulator_process.h"

#include "app/program.h"
#include "mqtt/mqtt_bridge.h"
#include "platform/control_address.h"
#include "platform/event_loop_waits.h"
#include "platform/qt_serial_port.h"
#include "ui/status_line.h"

#include <mosquitto.h>

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QSysInfo>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <functional>

#include <unistd.h>

namespace {
// A client whose messages are handed to the main thread, where the clock runs.
class Client {
public:
    std::function<void(const QString& topic, const QByteArray& payload)> arrived;

    Client(const QString& port, const QString& filter) : filter_(filter.toUtf8()) {
        client_ = mosquitto_new(nullptr, true, this);
        mosquitto_int_option(client_, MOSQ_OPT_TCP_NODELAY, 1);
        mosquitto_connect_callback_set(client_, [](mosquitto* client, void* self, int) {
            mosquitto_subscribe(client, nullptr, static_cast<Client*>(self)->filter_.constData(),
                                1);
        });
        mosquitto_message_callback_set(
            client_, [](mosquitto*, void* self, const mosquitto_message* message) {
                const QString topic = QString::fromUtf8(message->topic);
                const QByteArray payload(static_cast<const char*>(message->payload),
                                         message->payloadlen);
                auto* client = static_cast<Client*>(self);
                QMetaObject::invokeMethod(
                    qApp, [client, topic, payload] { client->arrived(topic, payload); });
            });
        mosquitto_connect(client_, "127.0.0.1", port.toInt(), 30);
        mosquitto_loop_start(client_);
    }
    ~Client() {
        mosquitto_disconnect(client_);
        mosquitto_loop_stop(client_, false);
        mosquitto_destroy(client_);
    }
    void publish(const QString& topic, const QByteArray& payload) {
        mosquitto_publish(client_, nullptr, topic.toUtf8().constData(), int(payload.size()),
                          payload.constData(), 1, false);
    }

private:
    QByteArray filter_;
    mosquitto* client_ = nullptr;
};

// Runs the event loop until done says so, or 30 s have passed.
bool runUntil(const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(30'000, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return done();
}

// CPU time a process has used so far, user and system, from /proc (10 ms steps).
double cpuMs(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = stat.readAll().split(')').value(1).split(' ');
    // After the name: state is field 3, utime 14 and stime 15.
    return (fields.value(12).toDouble() + fields.value(13).toDouble()) * 1000.0 /
           double(sysconf(_SC_CLK_TCK));
}

double percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::min(values.size() - 1, size_t(share * values.size()))];
}
} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    mosquitto_lib_init();

    QTemporaryDir brokerDir;
    QString port;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        port = QString::number(probe.serverPort());
    }
    QFile config(brokerDir.filePath("mosquitto.conf"));
    config.open(QIODevice::WriteOnly);
    // Without TCP_NODELAY on the broker and the client, each hop of a small message can wait
    // 40 ms for a delayed acknowledgement.
    config.write("user root\nallow_anonymous true\nset_tcp_nodelay true\nlistener " +
                 port.toUtf8() + " 127.0.0.1\n");
    config.close();
    QProcess broker;
    broker.start("mosquitto", {"-c", config.fileName()});
    QThread::msleep(300);

    QTemporaryDir dir;
    SimulatorProcess simulator(dir.path(), SimulatorProcess::eightBoards(), 8);
    QFile settings(dir.filePath("hubrix.conf"));
    settings.open(QIODevice::WriteOnly);
    settings.write("[mqtt]\nhost = 127.0.0.1\nport = " + port.toUtf8() + "\n");
    settings.close();

    QuietProgram quiet(dir.path());
    quiet.connect();
    Program& program = quiet.program;
    const std::unique_ptr<MqttBridge> bridge =
        MqttBridge::start(program.context(), {MQTT_MODULE_DIR});
    if (!bridge || !runUntil([&] {
            return program.window().ui().statusLine->text().contains("MQTT 已连接");
        })) {
        std::printf("the bridge did not connect\n");
        return 1;
    }
    const QString prefix =
        QStringLiteral("hubrix/%1/%2")
            .arg(QSysInfo::machineHostName(),
                 QFileInfo(control_address::socketPath(dir.path())).completeBaseName().mid(7));

    int results = 0;
    int confirmed = 0;
    int statesOn = 0;
    int states = 0;
    Client client(port, prefix + "/tile/+/+");
    client.arrived = [&](const QString& topic, const QByteArray& payload) {
        if (topic.endsWith("/result")) {
            ++results;
            confirmed += payload.contains(R"("ok":true)");
        } else if (topic.endsWith("/state")) {
            ++states;
            statesOn += payload == "on";
        }
    };
    // The client's subscription is up once the retained states have come in.
    runUntil([&] { return states >= TileCount; });

    std::vector<double> onMs;
    int missed = 0;
    for (int i = 0; i < 200; ++i) {
        const int before = results;
        const double ms = timeMs([&] {
            client.publish(prefix + "/tile/5/set", i % 2 ? "off" : "on");
            if (!runUntil([&] { return results > before; }))
                ++missed;
        });
        onMs.push_back(ms);
    }
    std::printf("%d of 200 sets unconfirmed, %d unanswered\n", 200 - confirmed, missed);
    report("set to confirmed result through the broker (median)", median(onMs), "ms", "-");
    report("set to confirmed result through the broker (99th percentile)", percentile(onMs, 0.99),
           "ms", "-");

    results = confirmed = statesOn = 0;
    const double brokerBefore = cpuMs(broker.processId());
    const double burstMs = timeMs([&] {
        for (int tile = 1; tile <= TileCount; ++tile)
            client.publish(prefix + QStringLiteral("/tile/%1/set").arg(tile), "on");
        runUntil([&] { return results == TileCount && statesOn == TileCount; });
    });
    std::printf("burst: %d of %d results confirmed, %d states on\n", confirmed, TileCount,
                statesOn);
    report("336 sets to 336 results and states on the broker", burstMs, "ms", "-");
    // In: 336 sets, results and states and 672 events; out: sets, results and states to the
    // client and the sets to the program.
    report("broker CPU for that burst (about 3000 messages in and out)",
           cpuMs(broker.processId()) - brokerBefore, "ms", "-");
    results = 0;
    const double offMs = timeMs([&] {
        for (int tile = 1; tile <= TileCount; ++tile)
            client.publish(prefix + QStringLiteral("/tile/%1/set").arg(tile), "off");
        runUntil([&] { return results == TileCount; });
    });
    report("336 sets off to 336 results", offMs, "ms", "-");

    broker.terminate();
    broker.waitForFinished(3000);
    mosquitto_lib_cleanup();
    return 0;
}
