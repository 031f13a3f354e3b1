// Programs on a real mosquitto broker that the test starts on loopback: their racks are
// published, mosquitto_pub switches their tiles, and the broker's own clients read the result.
// Programs that must be killed run as child processes of this test (--rack), each on its own
// simulated boards.
#include "fakes/real_rig.h"
#include "hubsim/hub_rack.h"
#include "mqtt/broker_client.h"
#include "mqtt/mqtt_bridge.h"
#include "platform/control_address.h"
#include "platform/control_server.h"
#include "quiet_services.h"
#include "script/control_channel.h"
#include "script/script_commands.h"
#include "ui/status_line.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace {
QString freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return QString::number(probe.serverPort());
}

void writeFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

// mosquitto on loopback, in the foreground, with the listener given.
struct Broker {
    QTemporaryDir dir;
    QString port = freePort();
    QProcess process;

    bool start(const QByteArray& listener = {}) {
        writeFile(dir.filePath(QStringLiteral("mosquitto.conf")),
                  "user root\nlog_dest stderr\nlog_type error\nlog_type information\n"
                  "listener " +
                      port.toUtf8() + " 127.0.0.1\n" +
                      (listener.isEmpty() ? QByteArray("allow_anonymous true\n") : listener));
        process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        process.start(QStringLiteral("mosquitto"),
                      {QStringLiteral("-c"), dir.filePath(QStringLiteral("mosquitto.conf"))});
        // Ready once it reports that it is running on its listener.
        QByteArray log;
        const bool running = QTest::qWaitFor(
            [&] {
                log += process.readAllStandardError();
                return log.contains(" running") || process.state() == QProcess::NotRunning;
            },
            5000);
        return running && process.state() == QProcess::Running;
    }
    void stop() {
        process.terminate();
        process.waitForFinished(5000);
    }
    ~Broker() { stop(); }
};

// mosquitto_sub following a topic filter; lines are "TOPIC PAYLOAD".
struct Subscriber {
    QProcess process;
    QStringList lines;
    bool subscribed = false;

    // Returns once the broker has acknowledged the subscription.
    Subscriber(const QString& port, const QString& filter, const QStringList& more = {}) {
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &process, [this] {
            while (process.canReadLine()) {
                const QString line = QString::fromUtf8(process.readLine()).chopped(1);
                // The client's own reports (-d) are told apart from the messages.
                if (line.startsWith(QLatin1String("Subscribed (mid:")))
                    subscribed = true;
                else if (!line.startsWith(QLatin1String("Client ")))
                    lines.append(line);
            }
        });
        // Line-buffered, or its reports would wait in a full buffer.
        process.start(QStringLiteral("stdbuf"),
                      QStringList{"-oL", "mosquitto_sub", "-h", "127.0.0.1", "-p", port, "-q", "1",
                                  "-v", "-d", "-t", filter} +
                          more);
        if (!QTest::qWaitFor([this] { return subscribed; }, 5000))
            qWarning("mosquitto_sub did not subscribe to %s", qPrintable(filter));
    }
    ~Subscriber() {
        process.kill();
        process.waitForFinished();
    }
    bool waitFor(const QString& line, int ms = 5000) {
        return QTest::qWaitFor([&] { return lines.contains(line); }, ms);
    }
    QJsonObject firstJson() const {
        const QString line = lines.value(0);
        return QJsonDocument::fromJson(line.section(u' ', 1).toUtf8()).object();
    }
};

// What the broker retains under filter: topic -> payload, count messages at most.
QMap<QString, QString> retained(const QString& port, const QString& filter, int count,
                                const QStringList& more = {}) {
    QProcess sub;
    sub.start(QStringLiteral("mosquitto_sub"),
              QStringList{"-h", "127.0.0.1", "-p", port, "-v", "--retained-only", "-t", filter,
                          "-C", QString::number(count), "-W", "5"} +
                  more);
    sub.waitForFinished(10'000);
    QMap<QString, QString> messages;
    for (const QString& line :
         QString::fromUtf8(sub.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts))
        messages.insert(line.section(u' ', 0, 0), line.section(u' ', 1));
    return messages;
}

int publish(const QString& port, const QString& topic, const QString& message,
            const QStringList& more = {}) {
    return QProcess::execute(
        QStringLiteral("mosquitto_pub"),
        QStringList{"-h", "127.0.0.1", "-p", port, "-q", "1", "-t", topic, "-m", message} + more);
}

QByteArray settingsFor(const QString& port, const QByteArray& more = {}) {
    return "[mqtt]\nhost = 127.0.0.1\nport = " + port.toUtf8() + "\n" + more;
}

// The prefix a program in dir uses unless told otherwise: its host and its control socket's
// digits.
QString defaultPrefix(const QString& dir) {
    return QStringLiteral("hubrix/%1/%2")
        .arg(QSysInfo::machineHostName(),
             QFileInfo(control_address::socketPath(dir)).completeBaseName().mid(7));
}

// A program in a process of its own: --rack DIR PORT:DEVICE ...
struct RackProcess {
    QTemporaryDir dir;
    QProcess process;
    QStringList output;

    bool start(const QString& brokerPort, const QString& board) {
        writeFile(dir.filePath(QStringLiteral("hubrix.conf")), settingsFor(brokerPort));
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &process, [this] {
            while (process.canReadLine())
                output.append(QString::fromUtf8(process.readLine()).chopped(1));
        });
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--rack"), dir.path(), board});
        return QTest::qWaitFor([&] { return output.contains(QStringLiteral("ready")); }, 10'000);
    }
    int count(const QString& start) const {
        return int(std::count_if(output.begin(), output.end(),
                                 [&](const QString& line) { return line.startsWith(start); }));
    }
    QString prefix() const { return defaultPrefix(dir.path()); }
    ~RackProcess() {
        process.kill();
        process.waitForFinished();
    }
};

// The state word every tile should have, from what hubrixctl's status says.
QMap<QString, QString> expectedStates(const QString& prefix, const QJsonObject& status) {
    QMap<QString, QString> states;
    const QJsonArray links = status.value("links").toArray();
    const QJsonArray on = status.value("on").toArray();
    for (int tile = 1; tile <= TileCount; ++tile) {
        const bool found = links.at((tile - 1) / SlotsPerLink).toObject().value("found").toBool();
        states.insert(QStringLiteral("%1/tile/%2/state").arg(prefix).arg(tile),
                      !found              ? QStringLiteral("not connected")
                      : on.contains(tile) ? QStringLiteral("on")
                                          : QStringLiteral("off"));
    }
    return states;
}

// Every tile's state as the broker has it, once it has them all: what it retains, and what
// arrives while a new session publishes them again.
QMap<QString, QString> statesOn(const QString& port, const QString& prefix) {
    Subscriber states(port, prefix + "/tile/+/state");
    QMap<QString, QString> latest;
    const bool complete = QTest::qWaitFor(
        [&] {
            for (const QString& line : std::as_const(states.lines))
                latest.insert(line.section(u' ', 0, 0), line.section(u' ', 1));
            return latest.size() == TileCount;
        },
        5000);
    if (!complete)
        qWarning("the broker has %lld of the states", qlonglong(latest.size()));
    return latest;
}

QJsonObject statusOf(const QString& dir) {
    QProcess ctl;
    ctl.start(QStringLiteral(HUBRIXCTL), {"--dir", dir, "status", "--json"});
    ctl.waitForFinished(10'000);
    return QJsonDocument::fromJson(ctl.readAllStandardOutput()).object();
}

// The program in a rig of its own on this thread, with the bridge its hubrix.conf asks for.
struct BridgedRig {
    RealRig rig;
    std::unique_ptr<MqttBridge> bridge;

    bool start(const QByteArray& settings) {
        rig.start();
        return startBridge(settings);
    }
    bool startBridge(const QByteArray& settings) {
        writeFile(rig.path(QStringLiteral("/hubrix.conf")), settings);
        bridge = MqttBridge::start(rig.program->context(), {MQTT_MODULE_DIR});
        return bridge != nullptr;
    }
    const QStringList& statusLines() const { return rig.ui().statusLine->history(); }
    bool said(const QString& start) const {
        return std::any_of(statusLines().begin(), statusLines().end(),
                           [&](const QString& line) { return line.contains(start); });
    }
    QString prefix() const { return defaultPrefix(rig.dir.path()); }
};

bool openssl(const QString& dir, const QStringList& arguments) {
    QProcess tool;
    tool.setWorkingDirectory(dir);
    tool.start(QStringLiteral("openssl"), arguments);
    return tool.waitForFinished(20'000) && tool.exitCode() == 0;
}

// A certificate authority of its own in dir: NAME.crt and NAME.key.
bool makeAuthority(const QString& dir, const QString& name) {
    return openssl(dir, {"req", "-x509", "-newkey", "ec", "-pkeyopt",
                         "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", name + ".key", "-out",
                         name + ".crt", "-days", "2", "-subj", "/CN=" + name});
}

// server.crt and server.key for 127.0.0.1 and localhost, signed by authority.
bool makeServerCertificate(const QString& dir, const QString& authority) {
    writeFile(dir + "/server.ext", "subjectAltName=DNS:localhost,IP:127.0.0.1\n");
    return openssl(dir,
                   {"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                    "-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=localhost"}) &&
           openssl(dir, {"x509", "-req", "-in", "server.csr", "-CA", authority + ".crt", "-CAkey",
                         authority + ".key", "-CAcreateserial", "-out", "server.crt", "-days", "2",
                         "-extfile", "server.ext"});
}

bool addUser(const QString& file, const QString& user, const QString& password) {
    return QProcess::execute(QStringLiteral("mosquitto_passwd"), {"-b", file, user, password}) == 0;
}

const QString Confirmed5 = R"({"ok":true,"tiles":[{"result":"confirmed","tile":5}]})";
} // namespace

class MqttBridgeTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(runtime_.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path()));
        QVERIFY(broker_.start());
    }

    // The functions below run in order on the same two programs.
    void twoPrograms_switchThroughTheBroker_andRetainTheirStates() {
        QVERIFY(a_.start(broker_.port, QStringLiteral("2:0102")));
        QVERIFY(b_.start(broker_.port, QStringLiteral("3:0A0B")));
        QVERIFY(a_.prefix() != b_.prefix());
        QTRY_COMPARE(a_.count(QStringLiteral("MQTT 已连接")), 1);
        QTRY_COMPARE(b_.count(QStringLiteral("MQTT 已连接")), 1);

        Subscriber resultA(broker_.port, a_.prefix() + "/tile/5/result");
        Subscriber resultB(broker_.port, b_.prefix() + "/tile/5/result");
        Subscriber events(broker_.port, a_.prefix() + "/events");
        QCOMPARE(publish(broker_.port, a_.prefix() + "/tile/5/set", "on"), 0);
        QCOMPARE(publish(broker_.port, b_.prefix() + "/tile/5/set", "on"), 0);
        QVERIFY(resultA.waitFor(a_.prefix() + "/tile/5/result " + Confirmed5));
        QVERIFY(resultB.waitFor(b_.prefix() + "/tile/5/result " + Confirmed5));
        QTRY_COMPARE(events.lines.size(), 2);
        const QJsonObject confirmed =
            QJsonDocument::fromJson(events.lines[1].section(u' ', 1).toUtf8()).object();
        QCOMPARE(confirmed.value("event").toString(), QStringLiteral("switch confirmed"));
        QCOMPARE(confirmed.value("tile").toInt(), 5);
        QCOMPARE(confirmed.value("cause").toString(), QStringLiteral("script"));

        for (RackProcess* rack : {&a_, &b_}) {
            const QJsonObject status = statusOf(rack->dir.path());
            QCOMPARE(status.value("on").toArray(), QJsonArray{5});
            QCOMPARE(statesOn(broker_.port, rack->prefix()),
                     expectedStates(rack->prefix(), status));
        }
        const QJsonObject link =
            QJsonDocument::fromJson(
                retained(broker_.port, a_.prefix() + "/link/1", 1).first().toUtf8())
                .object();
        QCOMPARE(link, (QJsonObject{{"found", true},
                                    {"port", 2},
                                    {"deviceNumber", "0102"},
                                    {"boundDeviceNumber", ""}}));
    }

    void otherSets_areAnsweredAsAScriptWouldBe() {
        Subscriber result(broker_.port, a_.prefix() + "/tile/+/result");
        QCOMPARE(publish(broker_.port, a_.prefix() + "/tile/7/set", "toggle"), 0);
        QTRY_COMPARE(result.lines.size(), 1);
        QCOMPARE(result.firstJson().value("ok").toBool(), false);
        QVERIFY(result.firstJson().value("error").toString().startsWith("malformed request"));

        // Tile 100 sits on a link without a board.
        QCOMPARE(publish(broker_.port, a_.prefix() + "/tile/100/set", "on"), 0);
        QVERIFY(result.waitFor(
            a_.prefix() +
            R"(/tile/100/result {"ok":false,"tiles":[{"result":"not connected","text":"设备未连接","tile":100}]})"));

        QCOMPARE(publish(broker_.port, a_.prefix() + "/tile/8/set", "cycle 100"), 0);
        QVERIFY(result.waitFor(
            a_.prefix() +
            R"(/tile/8/result {"ok":true,"tiles":[{"result":"confirmed","tile":8}]})"));
        QCOMPARE(statusOf(a_.dir.path()).value("on").toArray(), (QJsonArray{5, 8}));
    }

    void aKilledProgram_isOfflineOnItsStatus() {
        QCOMPARE(retained(broker_.port, b_.prefix() + "/status", 1).value(b_.prefix() + "/status"),
                 QStringLiteral("online"));
        Subscriber status(broker_.port, b_.prefix() + "/status");
        b_.process.kill();
        QVERIFY(status.waitFor(b_.prefix() + "/status offline"));
        QCOMPARE(retained(broker_.port, a_.prefix() + "/status", 1).value(a_.prefix() + "/status"),
                 QStringLiteral("online"));
    }

    // A restarted broker has forgotten every retained message; the program comes back by itself,
    // says so once each way, and publishes its rack again.
    void aBrokerRestart_isSurvived() {
        broker_.stop();
        QTRY_COMPARE(a_.count(QStringLiteral("MQTT 连接断开")), 1);
        // Long enough for a retry or two to fail.
        QTest::qWait(1500);
        QVERIFY(broker_.start());
        QTRY_COMPARE_WITH_TIMEOUT(a_.count(QStringLiteral("MQTT 已连接")), 2, 10'000);
        QCOMPARE(a_.count(QStringLiteral("MQTT 连接断开")), 1);
        QCOMPARE(a_.count(QStringLiteral("MQTT 无法连接")), 0);
        const auto states = statesOn(broker_.port, a_.prefix());
        QCOMPARE(states, expectedStates(a_.prefix(), statusOf(a_.dir.path())));
        QCOMPARE(states.value(a_.prefix() + "/tile/5/state"), QStringLiteral("on"));
        QCOMPARE(retained(broker_.port, a_.prefix() + "/status", 1).value(a_.prefix() + "/status"),
                 QStringLiteral("online"));

        Subscriber result(broker_.port, a_.prefix() + "/tile/5/result");
        Subscriber state(broker_.port, a_.prefix() + "/tile/5/state");
        QCOMPARE(publish(broker_.port, a_.prefix() + "/tile/5/set", "off"), 0);
        QVERIFY(result.waitFor(a_.prefix() + "/tile/5/result " + Confirmed5));
        QVERIFY(state.waitFor(a_.prefix() + "/tile/5/state off"));
    }

    // Remarks follow as they are saved; a pulled board leaves the tile it kept on "unknown"
    // and its other tiles "not connected".
    void remarksAndAPulledBoard_showOnTheBroker() {
        BridgedRig s;
        QVERIFY(s.rig.rack.addBoard(2, 0x0102));
        s.rig.start();
        s.rig.ui().connectButton->click();
        s.rig.dialogs.answers = {Dialogs::Answer::Yes};
        s.rig.ui().bindButton->click();
        QVERIFY(s.startBridge(settingsFor(broker_.port)));
        QTRY_VERIFY(s.said(QStringLiteral("MQTT 已连接")));
        QTRY_VERIFY(s.rig.ui().unbindButton->isEnabled());
        const QString prefix = s.prefix();

        Subscriber remarks(broker_.port, prefix + "/tile/4/remark");
        QJsonObject saved;
        ScriptCommands(s.rig.program->context())
            .setRemark(4, "phone 手机", [&saved](const QJsonObject& reply) { saved = reply; });
        QTRY_COMPARE(saved.value("ok"), true);
        QVERIFY(remarks.waitFor(prefix + "/tile/4/remark phone 手机"));

        Subscriber result(broker_.port, prefix + "/tile/4/result");
        QCOMPARE(publish(broker_.port, prefix + "/tile/4/set", "on"), 0);
        QTRY_COMPARE(result.lines.size(), 1);
        Subscriber states(broker_.port, prefix + "/tile/+/state");
        Subscriber link(broker_.port, prefix + "/link/1");
        QVERIFY(states.waitFor(prefix + "/tile/4/state on"));
        QVERIFY(s.rig.rack.unplug(2));
        QVERIFY(states.waitFor(prefix + "/tile/4/state unknown"));
        QVERIFY(states.waitFor(prefix + "/tile/5/state not connected"));
        QTRY_VERIFY(link.lines.size() == 2);
        QCOMPARE(QJsonDocument::fromJson(link.lines[1].section(u' ', 1).toUtf8())
                     .object()
                     .value("found"),
                 false);
    }

    // A broker that stops reading must not make the program grow: the client refuses past its
    // bound, and says when there is room again.
    void theOutgoingQueue_isBounded_andDrains() {
        Broker broker;
        QVERIFY(broker.start());
        std::unique_ptr<BrokerClient> client = loadBrokerClient({MQTT_MODULE_DIR});
        QVERIFY(client);
        std::atomic<bool> connected{false};
        std::atomic<int> drained{0};
        BrokerClient::Handlers handlers;
        handlers.connected = [&] { connected = true; };
        handlers.lost = [](const QString&) {};
        handlers.message = [](const QString&, const QByteArray&) {};
        handlers.drained = [&] { ++drained; };
        BridgeSettings settings;
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = broker.port.toInt();
        settings.clientId = QStringLiteral("queue-test");
        QString why;
        QVERIFY(client->start(settings, "queue/status", "queue/+/set", handlers, &why));
        QTRY_VERIFY(connected);

        ::kill(pid_t(broker.process.processId()), SIGSTOP);
        int accepted = 0;
        while (accepted <= BrokerClient::MaxPending &&
               client->publish("queue/load", QByteArray(100, 'x'), 1, false))
            ++accepted;
        QCOMPARE(accepted, BrokerClient::MaxPending);
        QCOMPARE(drained.load(), 0);
        ::kill(pid_t(broker.process.processId()), SIGCONT);
        QTRY_COMPARE_WITH_TIMEOUT(drained.load(), 1, 10'000);
        QVERIFY(client->publish("queue/load", "again", 1, false));
    }

    void tls_withTheLabsAuthority_connects_andAnotherAuthorityIsRefused() {
        Broker broker;
        const QString dir = broker.dir.path();
        QVERIFY(makeAuthority(dir, "lab"));
        QVERIFY(makeAuthority(dir, "stranger"));
        QVERIFY(makeServerCertificate(dir, "lab"));
        QVERIFY(broker.start("cafile " + QFile::encodeName(dir) + "/lab.crt\ncertfile " +
                             QFile::encodeName(dir) + "/server.crt\nkeyfile " +
                             QFile::encodeName(dir) + "/server.key\nallow_anonymous true\n"));

        BridgedRig trusting;
        QVERIFY(trusting.start(settingsFor(
            broker.port, "tls = true\nca_file = " + QFile::encodeName(dir) + "/lab.crt\n")));
        BridgedRig doubting;
        QVERIFY(doubting.start(settingsFor(
            broker.port, "tls = true\nca_file = " + QFile::encodeName(dir) + "/stranger.crt\n")));
        QTRY_VERIFY(trusting.said(QStringLiteral("MQTT 已连接 127.0.0.1:") + broker.port));
        Subscriber status(broker.port, trusting.prefix() + "/status",
                          {"--cafile", dir + "/lab.crt"});
        QVERIFY(status.waitFor(trusting.prefix() + "/status online"));

        QTRY_VERIFY(doubting.said(QStringLiteral("MQTT 无法连接")));
        QVERIFY2(doubting.statusLines().last().contains("certificate verify failed"),
                 qPrintable(doubting.statusLines().last()));
        QVERIFY(!doubting.said(QStringLiteral("MQTT 已连接")));
    }

    // The lab's broker knows its users: the program logs in with the password from its file, a
    // dashboard may read but not switch, an operator may switch.
    void passwords_andTheDocumentedAccessList() {
        Broker broker;
        const QString dir = broker.dir.path();
        writeFile(dir + "/passwords", {});
        QVERIFY(addUser(dir + "/passwords", "rack", "rack-secret"));
        QVERIFY(addUser(dir + "/passwords", "dashboard", "dash-secret"));
        QVERIFY(addUser(dir + "/passwords", "operator", "op-secret"));
        writeFile(dir + "/acl", "user rack\ntopic readwrite hubrix/#\n"
                                "user dashboard\ntopic read hubrix/#\n"
                                "user operator\ntopic read hubrix/#\n"
                                "topic write hubrix/+/+/tile/+/set\n");
        QVERIFY(broker.start("allow_anonymous false\npassword_file " + QFile::encodeName(dir) +
                             "/passwords\nacl_file " + QFile::encodeName(dir) + "/acl\n"));

        BridgedRig s;
        QVERIFY(s.rig.rack.addBoard(2, 0x0102));
        const QString passwordFile = s.rig.path("/broker-password");
        writeFile(passwordFile, "rack-secret\n");
        const QByteArray settings = settingsFor(broker.port, "username = rack\npassword_file = "
                                                             "broker-password\n");
        // Readable by the group: anyone in it could switch every rack in the lab.
        QFile::setPermissions(passwordFile,
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        QVERIFY(!s.start(settings));
        QVERIFY2(s.said(QStringLiteral("MQTT 未启用：密码文件 ") + passwordFile),
                 qPrintable(s.statusLines().join(u'\n')));

        QFile::setPermissions(passwordFile, QFile::ReadOwner | QFile::WriteOwner);
        const QStringList dashboard{"-u", "dashboard", "-P", "dash-secret"};
        const QStringList operatorLogin{"-u", "operator", "-P", "op-secret"};
        // A command left retained on the broker is stale: the program must not act on it when
        // it subscribes, its board found already.
        QCOMPARE(publish(broker.port, s.prefix() + "/tile/6/set", "on",
                         operatorLogin + QStringList{"-r"}),
                 0);
        s.rig.ui().connectButton->click();
        QVERIFY(s.startBridge(settings));
        QTRY_VERIFY(s.said(QStringLiteral("MQTT 已连接")));

        Subscriber results(broker.port, s.prefix() + "/tile/+/result", dashboard);
        QCOMPARE(publish(broker.port, s.prefix() + "/tile/3/set", "on", dashboard), 0);
        QCOMPARE(publish(broker.port, s.prefix() + "/tile/4/set", "on", operatorLogin), 0);
        QTRY_COMPARE(results.lines.size(), 1);
        QVERIFY(results.lines[0].startsWith(s.prefix() + "/tile/4/result {\"ok\":true"));
        QVERIFY(s.rig.rack.slotOn(2, 4));
        QVERIFY(!s.rig.rack.slotOn(2, 3));
        QVERIFY(!s.rig.rack.slotOn(2, 6));
    }

private:
    QTemporaryDir runtime_;
    Broker broker_;
    RackProcess a_;
    RackProcess b_;
};

namespace {
// The program as it runs for an operator, on its real serial code and simulated boards, with the
// bridge its hubrix.conf asks for; the bridge's notices go to standard output.
int runRack(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QString dir = QString::fromLocal8Bit(argv[2]);
    HubRack rack(dir);
    for (int i = 3; i < argc; ++i) {
        const QStringList board = QString::fromLocal8Bit(argv[i]).split(u':');
        rack.addBoard(board[0].toInt(), quint16(board[1].toUInt(nullptr, 16)));
    }
    QuietSpeech speech;
    QtSerialPortFactory serialPorts(dir);
    EventLoopWaits waits;
    QuietDialogs dialogs;
    QuietNetwork network;
    QuietTune tune;
    ThreadWriter writer;
    Program program(Services{speech, serialPorts, waits, dialogs, network, tune, writer}, dir);
    ControlChannel channel(program.context(), std::make_unique<ControlServer>());
    channel.listen(control_address::socketPath(dir));
    const std::unique_ptr<MqttBridge> bridge =
        MqttBridge::start(program.context(), {MQTT_MODULE_DIR});
    QObject::connect(bridge.get(), &MqttBridge::notice, [](const QString& text) {
        std::printf("%s\n", qPrintable(text));
        std::fflush(stdout);
    });
    program.window().ui().probeWaitList->setCurrentIndex(0);
    program.window().ui().connectButton->click();
    std::printf("ready\n");
    std::fflush(stdout);
    return QApplication::exec();
}
} // namespace

int main(int argc, char* argv[]) {
    if (argc >= 3 && qstrcmp(argv[1], "--rack") == 0)
        return runRack(argc, argv);
    QApplication app(argc, argv);
    MqttBridgeTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "platform/thread_writer.h"
#include "test_mqtt_bridge.moc"
