// Scripts drive the running program: hubrixctl against the control channel of a program on
// the real serial code, its boards simulated on pseudo-terminals.
#include "app/directory_lock.h"
#include "fakes/real_rig.h"
#include "hubsim/hub_rack.h"
#include "platform/control_address.h"
#include "platform/control_server.h"
#include "script/control_channel.h"
#include "ui/drop_list.h"
#include "ui/remark_box.h"

#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <grp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
constexpr uid_t Nobody = 65534;
constexpr int NoAccountChange = 126;

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// hubrixctl as a child process, while this thread's event loop keeps the program answering.
Run hubrixctl(const QStringList& arguments, const std::function<void(QProcess&)>& prepare = {}) {
    QProcess child;
    if (prepare)
        prepare(child);
    QSignalSpy finished(&child, &QProcess::finished);
    child.start(QStringLiteral(HUBRIXCTL), arguments);
    if (!finished.wait(30'000))
        child.kill();
    return Run{child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1,
               QString::fromUtf8(child.readAllStandardOutput()),
               QString::fromUtf8(child.readAllStandardError())};
}

QStringList lines(const QString& text) {
    return text.split(u'\n', Qt::SkipEmptyParts);
}

// The program in a rig with its control channel listening, as the installed program runs.
struct ScriptedRig {
    RealRig rig;
    std::unique_ptr<ControlChannel> channel;

    Program& start() {
        Program& program = rig.start();
        channel =
            std::make_unique<ControlChannel>(program.context(), std::make_unique<ControlServer>());
        if (!channel->listen(socketPath()))
            qFatal("no control channel: %s", qPrintable(channel->errorString()));
        return program;
    }
    QString socketPath() const { return control_address::socketPath(rig.dir.path()); }
    Run ctl(QStringList arguments) const {
        return hubrixctl(QStringList{QStringLiteral("--dir"), rig.dir.path()} + arguments);
    }
    void connect() {
        rig.ui().connectButton->click();
        QCOMPARE(rig.program->state().connectDone, 1);
    }
};

// A socket file bound and then abandoned, as a killed program leaves it.
bool plantStaleSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound && QFile::exists(path);
}

// A stand-in for a program whose side of a request is not built yet: it takes each request
// and answers it with the lines given.
struct CannedProgram {
    QLocalServer server;
    QList<QByteArray> answers;
    QJsonObject request;

    explicit CannedProgram(const QString& path) {
        server.listen(path);
        QObject::connect(&server, &QLocalServer::newConnection, &server, [this] {
            QLocalSocket* socket = server.nextPendingConnection();
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                if (!socket->canReadLine())
                    return;
                request = QJsonDocument::fromJson(socket->readLine()).object();
                for (const QByteArray& answer : answers)
                    socket->write(answer + '\n');
            });
        });
    }
};

QJsonObject request(QLocalSocket& socket, const QByteArray& line) {
    socket.write(line + '\n');
    while (!socket.canReadLine()) {
        QSignalSpy ready(&socket, &QLocalSocket::readyRead);
        if (!ready.wait(5000))
            return {};
    }
    return QJsonDocument::fromJson(socket.readLine()).object();
}
} // namespace

class ScriptingTest : public QObject {
    Q_OBJECT
private slots:
    // Every program of these tests keeps its socket in a private runtime directory of its own.
    void initTestCase() {
        QVERIFY(runtime_.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path()));
        QCOMPARE(control_address::runtimeDirectory(), runtime_.path());
    }

    void status_beforeAndAfterAConnect() {
        ScriptedRig s;
        QVERIFY(s.rig.rack.addBoard(2, 0x0102));
        QVERIFY(s.rig.rack.addBoard(5, 0x0304));
        s.start();

        Run before = s.ctl({QStringLiteral("status"), QStringLiteral("--json")});
        QCOMPARE(before.exitCode, 0);
        const QJsonObject document = QJsonDocument::fromJson(before.out.toUtf8()).object();
        QCOMPARE(document.value("programDir").toString(), s.rig.dir.path());
        QCOMPARE(document.value("links").toArray().size(), 8);
        for (const QJsonValue& link : document.value("links").toArray())
            QVERIFY(!link.toObject().value("found").toBool());
        QVERIFY(document.value("on").toArray().isEmpty());

        s.connect();
        s.rig.tile(44)->click();
        QTRY_COMPARE(s.rig.tile(44)->text(), QStringLiteral("已打开"));
        const Run after = s.ctl({QStringLiteral("status")});
        QCOMPARE(after.exitCode, 0);
        const QStringList text = lines(after.out);
        QCOMPARE(text.value(0), QStringLiteral("directory ") + s.rig.dir.path());
        QCOMPARE(text.value(1), QStringLiteral("link 1 found device 0102 port 2 bound -"));
        QCOMPARE(text.value(2), QStringLiteral("link 2 found device 0304 port 5 bound -"));
        QCOMPARE(text.value(3), QStringLiteral("link 3 not found bound -"));
        QVERIFY(text.contains(QStringLiteral("tile 44 on")));
        QCOMPARE(text.size(), 1 + 8 + 1);
    }

    void on_switchesTilesOnTwoLinks_andOffAWholeLink() {
        ScriptedRig s;
        QVERIFY(s.rig.rack.addBoard(2, 0x0102));
        QVERIFY(s.rig.rack.addBoard(3, 0x0304));
        Program& program = s.start();
        s.connect();
        QSignalSpy requested(&program.events(), &RackEvents::switchRequested);

        const Run on = s.ctl({QStringLiteral("on"), QStringLiteral("1-3,43")});
        QCOMPARE(on.exitCode, 0);
        QCOMPARE(lines(on.out), (QStringList{"tile 1 confirmed", "tile 2 confirmed",
                                             "tile 3 confirmed", "tile 43 confirmed"}));
        for (int tile : {1, 2, 3, 43})
            QCOMPARE(s.rig.tile(tile)->text(), QStringLiteral("已打开"));
        for (int slot : {1, 2, 3})
            QVERIFY(s.rig.rack.slotOn(2, slot));
        QVERIFY(s.rig.rack.slotOn(3, 1));
        QCOMPARE(requested.size(), 4);
        QCOMPARE(requested[0][2].value<RackEvents::Cause>(), RackEvents::Cause::Script);
        // The lines follow with the write that keeps the states, a moment after the echoes.
        QTRY_COMPARE(program.window().ui().openDevices->count(), 4);

        // Only the tiles that differ are switched: tile 1 is on already.
        const Run again = s.ctl({QStringLiteral("on"), QStringLiteral("1")});
        QCOMPARE(again.exitCode, 0);
        QCOMPARE(requested.size(), 4);

        const Run off = s.ctl({QStringLiteral("off"), QStringLiteral("link:1")});
        QCOMPARE(off.exitCode, 0);
        QCOMPARE(lines(off.out).size(), 42);
        QVERIFY(lines(off.out).contains(QStringLiteral("tile 42 confirmed")));
        for (int slot : {1, 2, 3}) {
            QVERIFY(!s.rig.rack.slotOn(2, slot));
            QCOMPARE(s.rig.tile(slot)->text(), QStringLiteral("已关闭"));
            QVERIFY(!s.rig.tile(slot)->isLit());
        }
        QVERIFY(s.rig.rack.slotOn(3, 1));
        QCOMPARE(requested.size(), 4 + 3);
    }

    void cycle_switchesOffThenOnAfterTheOffTime() {
        ScriptedRig s;
        QVERIFY(s.rig.rack.addBoard(2, 0x0102));
        s.start();
        s.connect();
        QCOMPARE(s.ctl({QStringLiteral("on"), QStringLiteral("5")}).exitCode, 0);
        QList<QPair<bool, qint64>> switches;
        QElapsedTimer clock;
        clock.start();
        QObject::connect(&s.rig.rack, &HubRack::slotSwitched, &s.rig.rack,
                         [&](int port, int slot, bool on) {
                             if (port == 2 && slot == 5)
                                 switches.append({on, clock.elapsed()});
                         });
        const Run cycle = s.ctl({QStringLiteral("cycle"), QStringLiteral("5")});
        QCOMPARE(cycle.exitCode, 0);
        QCOMPARE(lines(cycle.out), QStringList{"tile 5 confirmed"});
        QCOMPARE(switches.size(), 2);
        QVERIFY(!switches[0].first);
        QVERIFY(switches[1].first);
        // The slot stays off for the default 2000 ms, within a tenth.
        const qint64 offMs = switches[1].second - switches[0].second;
        QVERIFY2(offMs >= 1800 && offMs <= 2200, qPrintable(QString::number(offMs)));
        QCOMPARE(s.rig.tile(5)->text(), QStringLiteral("已打开"));
    }

    // Cycles of several tiles from several scripts at once: each off time is its own, the
    // shortest comes back on first, and a second cycle of a tile already cycling is refused.
    void overlappingCycles_endInTheOrderOfTheirOffTimes() {
        ScriptedRig s;
        QVERIFY(s.rig.rack.addBoard(2, 0x0102));
        s.start();
        s.connect();
        QCOMPARE(s.ctl({QStringLiteral("on"), QStringLiteral("5-7")}).exitCode, 0);
        QList<int> backOn;
        QObject::connect(&s.rig.rack, &HubRack::slotSwitched, &s.rig.rack,
                         [&](int, int slot, bool on) {
                             if (on)
                                 backOn.append(slot);
                         });
        std::array<QProcess, 4> cycles;
        int done = 0;
        const QList<QPair<int, int>> asked{{5, 1500}, {6, 300}, {7, 800}, {5, 300}};
        for (int i = 0; i < 4; ++i) {
            QProcess& child = cycles[size_t(i)];
            QObject::connect(&child, &QProcess::finished, &child, [&done] { ++done; });
            child.start(QStringLiteral(HUBRIXCTL),
                        {QStringLiteral("--dir"), s.rig.dir.path(), QStringLiteral("cycle"),
                         QString::number(asked[i].first), QStringLiteral("--off-ms"),
                         QString::number(asked[i].second)});
            // The first three are under way before the fourth asks again for tile 5.
            QVERIFY(child.waitForStarted());
            QTRY_VERIFY(s.rig.program->state().powerCycles.size() == std::min(i + 1, 3));
        }
        QTRY_COMPARE_WITH_TIMEOUT(done, 4, 10'000);
        QCOMPARE(backOn, (QList<int>{6, 7, 5}));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(cycles[size_t(i)].exitCode(), 0);
        QCOMPARE(cycles[3].exitCode(), 4);
        QVERIFY(cycles[3].readAllStandardOutput().contains("refused"));
        QVERIFY(s.rig.program->state().powerCycles.isEmpty());
    }

    void droppedEcho_isReportedUnconfirmed() {
        ScriptedRig s;
        QVERIFY(s.rig.rack.addBoard(2, 0x0102));
        s.start();
        s.connect();
        QVERIFY(s.rig.rack.setFault(2, HubRack::Fault::DropEcho));
        const Run on = s.ctl({QStringLiteral("on"), QStringLiteral("6,7"),
                              QStringLiteral("--timeout"), QStringLiteral("300")});
        QCOMPARE(on.exitCode, 1);
        QCOMPARE(lines(on.out), (QStringList{"tile 6 unconfirmed", "tile 7 unconfirmed"}));
        // The board switched; only its word on it is missing.
        QVERIFY(s.rig.rack.slotOn(2, 7));
        QCOMPARE(s.rig.tile(7)->text(), QStringLiteral("已关闭"));
        // Within the window's confirmation time the tile still waits; after it, the window says
        // the board did not confirm, and so does the status.
        QVERIFY(lines(s.ctl({QStringLiteral("status")}).out)
                    .contains(QStringLiteral("tile 7 awaited")));
        QTRY_COMPARE(s.rig.tile(7)->confirmation(), StyledButton::Confirmation::Missing);
        const QStringList status = lines(s.ctl({QStringLiteral("status")}).out);
        QVERIFY(status.contains(QStringLiteral("tile 7 unconfirmed")));
        QVERIFY(!status.contains(QStringLiteral("tile 7 awaited")));
    }

    void notConnectedLink_isReportedPerTile() {
        ScriptedRig s;
        QVERIFY(s.rig.rack.addBoard(2, 0x0102));
        s.start();
        s.connect();
        const Run on = s.ctl({QStringLiteral("on"), QStringLiteral("1,85")});
        QCOMPARE(on.exitCode, 1);
        QCOMPARE(lines(on.out),
                 (QStringList{"tile 1 confirmed", "tile 85 not connected: 设备未连接"}));
        QVERIFY(s.rig.speech.spoken.isEmpty() ||
                !s.rig.speech.spoken.contains(QStringLiteral("设备未连接")));
    }

    void remark_followsTheBoxRules_andFindLeavesFavouritesAlone() {
        ScriptedRig s;
        QVERIFY(s.rig.rack.addBoard(2, 0x0102));
        s.start();
        s.connect();
        const Run unbound =
            s.ctl({QStringLiteral("remark"), QStringLiteral("4"), QStringLiteral("phone")});
        QCOMPARE(unbound.exitCode, 1);
        QVERIFY2(unbound.err.contains(QStringLiteral("请先绑定设备")), qPrintable(unbound.err));

        s.rig.dialogs.answers = {Dialogs::Answer::Yes};
        s.rig.ui().bindButton->click();
        QTRY_VERIFY(s.rig.ui().unbindButton->isEnabled());

        const Run saved =
            s.ctl({QStringLiteral("remark"), QStringLiteral("4"), QStringLiteral("phone A")});
        QCOMPARE(saved.exitCode, 0);
        QCOMPARE(saved.out, QStringLiteral("保存成功\n"));
        QCOMPARE(s.rig.program->window().tile(4).remarkBox->text(), QStringLiteral("phone A"));
        const Run changed =
            s.ctl({QStringLiteral("remark"), QStringLiteral("4"), QStringLiteral("phone 手机")});
        QCOMPARE(changed.out, QStringLiteral("修改成功\n"));
        QCOMPARE(s.ctl({QStringLiteral("remark"), QStringLiteral("9"), QStringLiteral("phone B")})
                     .exitCode,
                 0);
        const Run read = s.ctl({QStringLiteral("remark"), QStringLiteral("4")});
        QCOMPARE(read.exitCode, 0);
        QCOMPARE(read.out, QStringLiteral("phone 手机\n"));

        // 21 bytes: more than the box takes.
        const Run tooLong = s.ctl({QStringLiteral("remark"), QStringLiteral("4"),
                                   QStringLiteral("手机手机手机手机手机x")});
        QCOMPARE(tooLong.exitCode, 1);
        QCOMPARE(s.ctl({QStringLiteral("remark"), QStringLiteral("4")}).out,
                 QStringLiteral("phone 手机\n"));
        const Run empty = s.ctl({QStringLiteral("remark"), QStringLiteral("4"), QString()});
        QCOMPARE(empty.exitCode, 1);
        QVERIFY(empty.err.contains(QStringLiteral("你还没有输入内容")));

        const int favourites = s.rig.ui().favourites->count();
        const Run found = s.ctl({QStringLiteral("find"), QStringLiteral("phone")});
        QCOMPARE(found.exitCode, 0);
        QCOMPARE(lines(found.out), (QStringList{"4:phone 手机", "9:phone B"}));
        QCOMPARE(s.rig.ui().favourites->count(), favourites);
        QCOMPARE(s.ctl({QStringLiteral("find"), QStringLiteral("tablet")}).out, QString());
    }

    void events_seeAClickInTheWindow() {
        ScriptedRig s;
        QVERIFY(s.rig.rack.addBoard(2, 0x0102));
        s.start();
        s.connect();
        QProcess follower;
        follower.start(QStringLiteral(HUBRIXCTL),
                       {QStringLiteral("--dir"), s.rig.dir.path(), QStringLiteral("events")});
        QProcess jsonFollower;
        jsonFollower.start(QStringLiteral(HUBRIXCTL),
                           {QStringLiteral("--dir"), s.rig.dir.path(), QStringLiteral("events"),
                            QStringLiteral("--json")});
        // A prompt now and then until both follow; the answer to the subscription is not
        // printed, so the first line is that prompt's.
        QTRY_VERIFY((emit s.rig.program->events().promptSpoken(QStringLiteral("同步")),
                     jsonFollower.canReadLine() && follower.canReadLine()));
        const QJsonObject prompt = QJsonDocument::fromJson(jsonFollower.readLine()).object();
        QCOMPARE(prompt.value("event").toString(), QStringLiteral("prompt spoken"));
        // Local time with its offset from UTC, to the millisecond.
        const QRegularExpression stamped(
            QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d)$)"));
        QVERIFY2(stamped.match(prompt.value("time").toString()).hasMatch(),
                 qPrintable(prompt.value("time").toString()));
        QVERIFY(follower.readLine().endsWith(" prompt spoken 同步\n"));
        QTest::qWait(200);
        jsonFollower.readAll();
        follower.readAll();

        s.rig.tile(9)->click();
        QTRY_COMPARE(s.rig.tile(9)->text(), QStringLiteral("已打开"));
        QCOMPARE(s.ctl({QStringLiteral("off"), QStringLiteral("9")}).exitCode, 0);
        QTRY_COMPARE(lines(QString::fromUtf8(jsonFollower.peek(1 << 16))).size(), 4);
        QStringList events;
        for (const QString& line : lines(QString::fromUtf8(jsonFollower.readAll()))) {
            const QJsonObject event = QJsonDocument::fromJson(line.toUtf8()).object();
            QVERIFY(!event.value("time").toString().isEmpty());
            events.append(event.value("event").toString() + u' ' +
                          QString::number(event.value("tile").toInt()) + u' ' +
                          event.value("cause").toString());
        }
        QCOMPARE(events, (QStringList{"switch requested 9 click", "switch confirmed 9 click",
                                      "switch requested 9 script", "switch confirmed 9 script"}));
        QTRY_COMPARE(lines(QString::fromUtf8(follower.peek(1 << 16))).size(), 4);
        const QString first = lines(QString::fromUtf8(follower.readAll())).first();
        QVERIFY2(first.endsWith(QStringLiteral(" switch requested tile 9 on by click")),
                 qPrintable(first));

        // A program that goes away leaves its followers with no answer.
        s.channel.reset();
        for (QProcess* ended : {&follower, &jsonFollower}) {
            QTRY_COMPARE(ended->state(), QProcess::NotRunning);
            QCOMPARE(ended->exitCode(), 3);
        }
    }

    // Commands that come while a connect run waits between probes are answered there, as a
    // click would be: a switch is refused with what the click would say.
    void commandDuringAConnectRun_isAnsweredInItsWait() {
        ScriptedRig s;
        for (int port = 1; port <= 6; ++port)
            QVERIFY(s.rig.rack.addSilentPort(port));
        QVERIFY(s.rig.rack.addBoard(7, 0x0102));
        Program& program = s.start();
        QProcess status;
        QProcess on;
        int runsWhenAnswered = -1;
        QObject::connect(&on, &QProcess::finished, &on,
                         [&] { runsWhenAnswered = program.state().connectRunsGoing; });
        QTimer::singleShot(50, &program.window(), [&] {
            status.start(QStringLiteral(HUBRIXCTL),
                         {QStringLiteral("--dir"), s.rig.dir.path(), QStringLiteral("status")});
            on.start(QStringLiteral(HUBRIXCTL), {QStringLiteral("--dir"), s.rig.dir.path(),
                                                 QStringLiteral("on"), QStringLiteral("1")});
        });
        s.rig.ui().connectButton->click();
        QCOMPARE(program.rack().port(1), 7);
        QTRY_COMPARE(on.state(), QProcess::NotRunning);
        QCOMPARE(runsWhenAnswered, 1);
        QCOMPARE(on.exitCode(), 4);
        QCOMPARE(QString::fromUtf8(on.readAllStandardOutput()),
                 QStringLiteral("tile 1 refused: 设备正在连接，请稍后\n"));
        QTRY_COMPARE(status.state(), QProcess::NotRunning);
        QCOMPARE(status.exitCode(), 0);
        QVERIFY(!s.rig.rack.slotOn(7, 1));
    }

    // Mode 0600 in a 0700 directory keeps other accounts out; should the socket be reachable
    // all the same (linked out, its mode widened), the program still refuses their peers.
    void anotherUser_isRefused() {
        if (::geteuid() != 0)
            QSKIP("needs root to run the client as another account");
        ScriptedRig s;
        s.start();
        struct stat info {};
        QVERIFY(::stat(QFile::encodeName(s.socketPath()).constData(), &info) == 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0600));

        // The other account's own runtime directory, holding a link to this program's socket.
        QTemporaryDir other(QStringLiteral("/tmp/hubrix-other-XXXXXX"));
        QVERIFY(::chown(QFile::encodeName(other.path()).constData(), Nobody, Nobody) == 0);
        const QString client = other.filePath(QStringLiteral("hubrixctl"));
        QVERIFY(QFile::copy(QStringLiteral(HUBRIXCTL), client));
        const auto asNobody = [&](QProcess& child) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), other.path());
            environment.insert(QStringLiteral("HOME"), other.path());
            child.setProcessEnvironment(environment);
            child.setProgram(client);
            child.setChildProcessModifier([] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(Nobody) != 0 || ::setuid(Nobody) != 0)
                    ::_exit(NoAccountChange);
            });
        };
        const QStringList arguments{QStringLiteral("--dir"), s.rig.dir.path(), QStringLiteral("on"),
                                    QStringLiteral("1")};
        const auto runAsNobody = [&] {
            QProcess child;
            asNobody(child);
            QSignalSpy finished(&child, &QProcess::finished);
            child.setArguments(arguments);
            child.start();
            if (!finished.wait(30'000))
                child.kill();
            return Run{child.exitCode(), QString::fromUtf8(child.readAllStandardOutput()),
                       QString::fromUtf8(child.readAllStandardError())};
        };
        const Run unreachable = runAsNobody();
        if (unreachable.exitCode == NoAccountChange)
            QSKIP("root may not change its account here");
        QCOMPARE(unreachable.exitCode, 2);

        const QString linked =
            control_address::socketPath(s.rig.dir.path()).replace(runtime_.path(), other.path());
        QVERIFY(::link(QFile::encodeName(s.socketPath()).constData(),
                       QFile::encodeName(linked).constData()) == 0);
        QVERIFY(::chmod(QFile::encodeName(s.socketPath()).constData(), 0666) == 0);
        const Run refused = runAsNobody();
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(refused.err.contains(QStringLiteral("another user")), qPrintable(refused.err));
        QVERIFY(!s.rig.program->rack().asked(1));
        // This account still gets in.
        QCOMPARE(s.ctl({QStringLiteral("status")}).exitCode, 0);
    }

    void staleSocket_isReplacedAtStart_butALiveOneIsNot() {
        ScriptedRig s;
        QVERIFY(plantStaleSocket(s.socketPath()));
        QCOMPARE(s.ctl({QStringLiteral("status")}).exitCode, 2);
        s.start();
        QCOMPARE(s.ctl({QStringLiteral("status")}).exitCode, 0);

        ControlChannel second(s.rig.program->context(), std::make_unique<ControlServer>());
        QVERIFY(!second.listen(s.socketPath()));
        QCOMPARE(s.ctl({QStringLiteral("status")}).exitCode, 0);
    }

    void malformedRequest_isAnswered_andTheConnectionKept() {
        ScriptedRig s;
        s.start();
        QLocalSocket socket;
        socket.connectToServer(s.socketPath());
        QVERIFY(socket.waitForConnected(2000));
        for (const QByteArray& bad :
             {QByteArray("not json"), QByteArray("[1,2]"), QByteArray(R"({"cmd":"dance"})"),
              QByteArray(R"({"cmd":"on","tiles":[0]})"),
              QByteArray(R"({"cmd":"on","tiles":[1],"timeoutMs":-5})"),
              QByteArray(R"({"cmd":"remark","tile":"4"})")}) {
            const QJsonObject reply = request(socket, bad);
            QCOMPARE(reply.value("ok"), QJsonValue(false));
            QVERIFY2(reply.value("error").toString().startsWith("malformed request"), bad);
        }
        const QJsonObject status = request(socket, R"({"cmd":"status"})");
        QCOMPARE(status.value("ok"), QJsonValue(true));
        QCOMPARE(status.value("links").toArray().size(), 8);
    }

    void malformedCommandLine_exits64() {
        for (const QStringList& arguments :
             {QStringList{}, QStringList{"on"}, QStringList{"on", "0"}, QStringList{"on", "337"},
              QStringList{"off", "5-3"}, QStringList{"on", "link:9"},
              QStringList{"cycle", "5", "--off-ms", "soon"}, QStringList{"status", "5"},
              QStringList{"remark"}, QStringList{"dance"}, QStringList{"status", "--fast"},
              QStringList{"get", "5", "--timeout", "5"}, QStringList{"on", "5", "--deadline=0"},
              QStringList{"connect", "--yes"}, QStringList{"get", "@"}}) {
            const Run run = hubrixctl(arguments);
            QVERIFY2(run.exitCode == 64, qPrintable(arguments.join(u' ')));
            QVERIFY(run.err.contains(QStringLiteral("Usage: ")));
        }
    }

    void noProgramRunning_exits2WithAHint() {
        QTemporaryDir dir;
        const Run run = hubrixctl({QStringLiteral("--dir"), dir.path(), QStringLiteral("status")});
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(lines(run.err).size(), 1);
        QVERIFY(run.err.contains(dir.path()));
    }

    // The operator's one-click power cycle: a right click on the tile, then 断电重启.
    void contextMenu_cyclesTheTile() {
        ScriptedRig s;
        QVERIFY(s.rig.rack.addBoard(2, 0x0102));
        Program& program = s.start();
        program.window().show();
        s.connect();
        StyledButton* button = s.rig.tile(12);
        button->click();
        QTRY_COMPARE(button->text(), QStringLiteral("已打开"));
        QList<bool> switches;
        QObject::connect(&s.rig.rack, &HubRack::slotSwitched, &s.rig.rack,
                         [&](int, int slot, bool on) {
                             if (slot == 12)
                                 switches.append(on);
                         });
        bool chosen = false;
        QTimer::singleShot(100, button, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu);
            QCOMPARE(menu->actions().size(), 1);
            QCOMPARE(menu->actions()[0]->text(), QStringLiteral("断电重启"));
            chosen = true;
            QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Return);
        });
        const QPoint centre = button->rect().center();
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, centre, button->mapToGlobal(centre));
        QApplication::sendEvent(button, &rightClick);
        QTRY_VERIFY(chosen);
        QTRY_COMPARE(switches, (QList<bool>{false, true}));
        QTRY_COMPARE(button->text(), QStringLiteral("已打开"));
    }

    void get_readsEachTile_andToggleAndNamesSwitchThem() {
        ScriptedRig s;
        QVERIFY(s.rig.rack.addBoard(2, 0x0102));
        s.start();
        s.connect();
        s.rig.dialogs.answers = {Dialogs::Answer::Yes};
        s.rig.ui().bindButton->click();
        QTRY_VERIFY(s.rig.ui().unbindButton->isEnabled());
        for (const char* tile : {"4", "9"})
            QCOMPARE(s.ctl({QStringLiteral("remark"), tile, QStringLiteral("phone")}).exitCode, 0);
        // A remark that holds the name and more is not that name.
        QCOMPARE(s.ctl({QStringLiteral("remark"), "5", QStringLiteral("phone 2")}).exitCode, 0);

        const Run off = s.ctl({QStringLiteral("get"), QStringLiteral("@phone")});
        QCOMPARE(off.exitCode, 1);
        QCOMPARE(lines(off.out), (QStringList{"tile 4 off", "tile 9 off"}));
        const Run toggled = s.ctl({QStringLiteral("toggle"), QStringLiteral("@phone")});
        QCOMPARE(toggled.exitCode, 0);
        QCOMPARE(lines(toggled.out), (QStringList{"tile 4 confirmed", "tile 9 confirmed"}));
        QVERIFY(s.rig.rack.slotOn(2, 4) && s.rig.rack.slotOn(2, 9) && !s.rig.rack.slotOn(2, 5));
        const Run on = s.ctl({QStringLiteral("get"), QStringLiteral("4,9")});
        QCOMPARE(on.exitCode, 0);
        QCOMPARE(lines(on.out), (QStringList{"tile 4 on", "tile 9 on"}));

        QVERIFY(s.rig.rack.setFault(2, HubRack::Fault::DropEcho));
        QCOMPARE(s.ctl({QStringLiteral("on"), "6", QStringLiteral("--timeout=200")}).exitCode, 1);
        const Run mixed = s.ctl({QStringLiteral("get"), QStringLiteral("6,9,85")});
        QCOMPARE(mixed.exitCode, 1);
        QCOMPARE(lines(mixed.out),
                 (QStringList{"tile 6 unknown", "tile 9 on", "tile 85 not connected"}));

        const Run nobody = s.ctl({QStringLiteral("on"), QStringLiteral("@tablet")});
        QCOMPARE(nobody.exitCode, 1);
        QCOMPARE(nobody.out, QString());
        QVERIFY2(nobody.err.contains(QStringLiteral("no tile has the remark \"tablet\"")),
                 qPrintable(nobody.err));
    }

    void stoppedProgram_isGivenUpOnAtTheDeadline() {
        QTemporaryDir dir;
        QProcess program;
        program.start(QStringLiteral(SCRIPTED_PROGRAM), {dir.path()});
        QVERIFY(program.waitForReadyRead(20'000));
        QCOMPARE(program.readLine(), QByteArray("listening\n"));
        const QStringList status{QStringLiteral("--dir"), dir.path(), QStringLiteral("status")};
        QCOMPARE(hubrixctl(status).exitCode, 0);

        ::kill(pid_t(program.processId()), SIGSTOP);
        const Run stopped = hubrixctl(status + QStringList{QStringLiteral("--deadline"), "1000"});
        ::kill(pid_t(program.processId()), SIGCONT);
        QCOMPARE(stopped.exitCode, 3);
        QCOMPARE(stopped.err, QStringLiteral("hubrixctl: no answer from Hubrix\n"));
        QCOMPARE(hubrixctl(status).exitCode, 0);
        program.kill();
        program.waitForFinished();
    }

    // The program killed right after each reply: every switch a reply confirmed is kept, so a
    // start shows the slots as possibly powered before any connect and as on once a script has
    // connected the boards again, with no click at all.
    void killRightAfterAReply_losesNoPoweredSlot() {
        QTemporaryDir dir;
        HubRack rack(dir.path());
        for (int k = 1; k <= LinkCount; ++k)
            QVERIFY(rack.addBoard(k + 1, quint16(0x0100 + k)));
        const QStringList at{QStringLiteral("--dir"), dir.path()};
        const auto words = [&at](const QString& tiles) {
            QStringList seen;
            for (const QString& line : lines(hubrixctl(at + QStringList{"get", tiles}).out))
                seen.append(line.section(u' ', 2));
            seen.removeDuplicates();
            return seen;
        };
        for (int round = 0; round <= 3; ++round) {
            QProcess program;
            program.start(QStringLiteral(SCRIPTED_PROGRAM), {dir.path()});
            QVERIFY(program.waitForReadyRead(20'000));
            if (round > 0)
                QCOMPARE(words(QStringLiteral("1-%1").arg(10 * round)), QStringList{"unknown"});
            const Run connected = hubrixctl(at + QStringList{QStringLiteral("connect")});
            QCOMPARE(connected.exitCode, 0);
            if (round > 0)
                QCOMPARE(words(QStringLiteral("1-%1").arg(10 * round)), QStringList{"on"});
            if (round == 3) {
                program.kill();
                program.waitForFinished();
                break;
            }
            const QString next = QStringLiteral("%1-%2").arg(10 * round + 1).arg(10 * round + 10);
            const Run on = hubrixctl(at + QStringList{QStringLiteral("on"), next});
            ::kill(pid_t(program.processId()), SIGKILL);
            QCOMPARE(on.exitCode, 0);
            program.waitForFinished();
            for (int slot = 10 * round + 1; slot <= 10 * round + 10; ++slot)
                QVERIFY(rack.slotOn(2, slot));
        }
    }

    // A store that cannot be written: a switch on whose intent cannot be kept does not go out
    // and says so; a switch off still goes out, and says its state was not kept.
    void fullDisk_keepsNoSwitchItCannotRemember() {
        QTemporaryDir dir;
        HubRack rack(dir.path());
        QVERIFY(rack.addBoard(2, 0x0102));
        const QStringList at{QStringLiteral("--dir"), dir.path()};
        QProcess program;
        // The file size limit makes writes fail with EFBIG instead of ending the program.
        program.setChildProcessModifier([] { std::signal(SIGXFSZ, SIG_IGN); });
        program.start(QStringLiteral(SCRIPTED_PROGRAM), {dir.path()});
        QVERIFY(program.waitForReadyRead(20'000));
        QCOMPARE(hubrixctl(at + QStringList{QStringLiteral("connect")}).exitCode, 0);
        QCOMPARE(hubrixctl(at + QStringList{QStringLiteral("on"), "1"}).exitCode, 0);
        const rlimit full{0, 0};
        QCOMPARE(::prlimit(pid_t(program.processId()), RLIMIT_FSIZE, &full, nullptr), 0);

        const Run on = hubrixctl(at + QStringList{QStringLiteral("on"), "2"});
        QCOMPARE(on.exitCode, 4);
        QCOMPARE(on.out, QStringLiteral("tile 2 refused: 开关状态无法保存\n"));
        QVERIFY(!rack.slotOn(2, 2));
        const Run off = hubrixctl(at + QStringList{QStringLiteral("off"), "1"});
        QVERIFY(!rack.slotOn(2, 1));
        QCOMPARE(off.out, QStringLiteral("tile 1 confirmed: 开关状态无法保存\n"));
        program.kill();
        program.waitForFinished();
    }

    // A cycle whose off time outlasts the deadline is kept alive by the program's progress
    // lines, which are not printed.
    void progress_keepsALongCycleFromItsDeadline() {
        ScriptedRig s;
        QVERIFY(s.rig.rack.addBoard(2, 0x0102));
        s.start();
        s.connect();
        const Run cycle = s.ctl({QStringLiteral("cycle"), "5", QStringLiteral("--off-ms=2500"),
                                 QStringLiteral("--deadline=1500"), QStringLiteral("--json")});
        QCOMPARE(cycle.exitCode, 0);
        QCOMPARE(lines(cycle.out).size(), 1);
        const QJsonObject reply = QJsonDocument::fromJson(cycle.out.toUtf8()).object();
        QVERIFY(!reply.contains("progress"));
        QCOMPARE(reply.value("tiles").toArray().first().toObject().value("result").toString(),
                 QStringLiteral("confirmed"));
    }

    void secondCycleOfATile_isRefused_andALostBoardCutsTheFirstShort() {
        ScriptedRig s;
        QVERIFY(s.rig.rack.addBoard(2, 0x0102));
        s.start();
        s.connect();
        QCOMPARE(s.ctl({QStringLiteral("on"), QStringLiteral("5,6")}).exitCode, 0);
        const auto start = [&s](QProcess& child, const QStringList& arguments) {
            child.start(QStringLiteral(HUBRIXCTL),
                        QStringList{QStringLiteral("--dir"), s.rig.dir.path()} + arguments);
        };
        // The second cycle, and after it the board's loss, come during the first's off time.
        QProcess first;
        QProcess second;
        bool unplugged = false;
        QObject::connect(&s.rig.program->events(), &RackEvents::switchRequested, &second,
                         [&](int tile, bool on) {
                             if (tile == 6 && !on)
                                 start(second, {QStringLiteral("cycle"), QStringLiteral("5")});
                         });
        QObject::connect(&second, &QProcess::finished, &second,
                         [&] { unplugged = s.rig.rack.unplug(2); });
        start(first, {QStringLiteral("cycle"), QStringLiteral("5,6"), QStringLiteral("--off-ms"),
                      QStringLiteral("1500")});
        QTRY_COMPARE_WITH_TIMEOUT(first.state(), QProcess::NotRunning, 10'000);
        QCOMPARE(second.exitCode(), 4);
        QCOMPARE(QString::fromUtf8(second.readAllStandardOutput()),
                 QStringLiteral("tile 5 refused: 正在断电重启\n"));
        QVERIFY(unplugged);
        QCOMPARE(first.exitCode(), 1);
        QCOMPARE(lines(QString::fromUtf8(first.readAllStandardOutput())),
                 (QStringList{"tile 5 cut short: 设备未连接", "tile 6 cut short: 设备未连接"}));
    }

    void remarkBeingTyped_isRefused() {
        ScriptedRig s;
        QVERIFY(s.rig.rack.addBoard(2, 0x0102));
        Program& program = s.start();
        s.connect();
        s.rig.dialogs.answers = {Dialogs::Answer::Yes};
        s.rig.ui().bindButton->click();
        QTRY_VERIFY(s.rig.ui().unbindButton->isEnabled());
        program.window().show();
        program.window().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&program.window()));
        RemarkBox* box = program.window().tile(4).remarkBox;
        box->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(box->hasFocus());
        box->insert(QStringLiteral("手机"));

        const Run typing =
            s.ctl({QStringLiteral("remark"), QStringLiteral("4"), QStringLiteral("phone")});
        QCOMPARE(typing.exitCode, 4);
        QVERIFY2(typing.err.contains(QStringLiteral("备注正在编辑")), qPrintable(typing.err));
        QCOMPARE(box->text(), QStringLiteral("手机"));
        QCOMPARE(s.ctl({QStringLiteral("remark"), QStringLiteral("4")}).out, QStringLiteral("\n"));
        // Another tile's remark is not being typed.
        QCOMPARE(s.ctl({QStringLiteral("remark"), QStringLiteral("5"), QStringLiteral("phone")})
                     .exitCode,
                 0);
    }

    void connectAndDisconnect_exitByWhatTheProgramSays() {
        QTemporaryDir dir;
        CannedProgram program(control_address::socketPath(dir.path()));
        const auto run = [&](const QList<QByteArray>& answers, const QStringList& arguments) {
            program.answers = answers;
            return hubrixctl(QStringList{QStringLiteral("--dir"), dir.path()} + arguments);
        };
        const Run found =
            run({R"({"progress":"connect","waitedMs":1000})",
                 R"({"ok":true,"links":[{"link":1,"found":true,"port":2,)"
                 R"("deviceNumber":"0102"},{"link":2,"found":false}],"text":"连接成功"})"},
                {QStringLiteral("connect")});
        QCOMPARE(program.request, (QJsonObject{{"cmd", "connect"}}));
        QCOMPARE(found.exitCode, 0);
        QCOMPARE(lines(found.out),
                 (QStringList{"link 1 found device 0102 port 2", "link 2 not found", "连接成功"}));
        QCOMPARE(
            run({R"({"ok":true,"links":[{"link":1,"found":false}]})"}, {QStringLiteral("connect")})
                .exitCode,
            1);
        const Run busy = run({R"({"ok":false,"refused":true,"text":"设备正在连接，请稍后"})"},
                             {QStringLiteral("connect")});
        QCOMPARE(busy.exitCode, 4);
        QCOMPARE(busy.err, QStringLiteral("hubrixctl: refused: 设备正在连接，请稍后\n"));

        const Run asked = run({R"({"ok":false,"refused":true,"text":"确定断开吗？"})"},
                              {QStringLiteral("disconnect")});
        QCOMPARE(program.request.value("yes"), QJsonValue(false));
        QCOMPARE(asked.exitCode, 4);
        const Run done = run({R"({"ok":true,"refused":false,"text":"已断开"})"},
                             {QStringLiteral("disconnect"), QStringLiteral("--yes")});
        QCOMPARE(program.request.value("yes"), QJsonValue(true));
        QCOMPARE(done.exitCode, 0);
        QCOMPARE(done.out, QStringLiteral("已断开\n"));
    }

    void clientMessages_followTheLocale() {
        QTemporaryDir dir;
        const auto inLocale = [&dir](const QString& locale) {
            return hubrixctl({QStringLiteral("--dir"), dir.path(), QStringLiteral("status")},
                             [&locale](QProcess& child) {
                                 QProcessEnvironment environment =
                                     QProcessEnvironment::systemEnvironment();
                                 for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
                                     environment.remove(QString::fromLatin1(name));
                                 environment.insert(QStringLiteral("LANG"), locale);
                                 child.setProcessEnvironment(environment);
                             });
        };
        const Run english = inLocale(QStringLiteral("C"));
        QCOMPARE(english.exitCode, 2);
        QVERIFY2(english.err.startsWith(QStringLiteral("hubrixctl: no Hubrix is running for ")),
                 qPrintable(english.err));
        const Run chinese = inLocale(QStringLiteral("zh_CN.UTF-8"));
        QCOMPARE(chinese.exitCode, 2);
        QVERIFY2(chinese.err.startsWith(QStringLiteral("hubrixctl: 没有 Hubrix 在 ")),
                 qPrintable(chinese.err));

        // A program holds the directory, and its channel is not there yet or cannot be made.
        DirectoryLock program(dir.path());
        QVERIFY(program.take());
        QCOMPARE(inLocale(QStringLiteral("C")).err,
                 "hubrixctl: Hubrix runs but its control channel is unavailable: it is starting\n");
        QCOMPARE(
            inLocale(QStringLiteral("zh_CN.UTF-8")).err,
            QStringLiteral("hubrixctl: Hubrix 正在运行，但它的控制通道不可用：程序正在启动\n"));
        program.noteChannelProblem(QStringLiteral("the network module is missing"));
        const Run unavailable = inLocale(QStringLiteral("zh_CN.UTF-8"));
        QCOMPARE(unavailable.exitCode, 2);
        QCOMPARE(unavailable.err,
                 QStringLiteral("hubrixctl: Hubrix 正在运行，但它的控制通道不可用："
                                "the network module is missing\n"));
    }

private:
    QTemporaryDir runtime_;
};

QTEST_MAIN(ScriptingTest)
#include "test_scripting.moc"
