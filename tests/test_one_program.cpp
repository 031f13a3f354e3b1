// One program per store directory: the real program started twice on one directory, a
// program that cannot be reached, and a program whose control channel could not be made; and
// the unattended start, which opens the program and connects it with nobody at the keyboard.
#include "app/directory_lock.h"
#include "app/run_program.h"
#include "fakes/test_rig.h"
#include "hubsim/hub_rack.h"
#include "platform/control_address.h"
#include "ui/status_line.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {
const QString Message = QStringLiteral("另一个Hubrix正在使用这个数据目录");

// The installed program as an operator starts it, from a directory of its own.
struct ProgramCopy {
    QTemporaryDir dir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();

    explicit ProgramCopy(const QString& runtime) {
        QFile::copy(QStringLiteral(HUBRIX), dir.filePath(QStringLiteral("hubrix")));
        QFile::copy(QStringLiteral(NETWORK_MODULE),
                    dir.filePath(QStringLiteral("libhubrix_network.so")));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    }
    void start(QProcess& process) const {
        process.setProcessEnvironment(environment);
        process.start(dir.filePath(QStringLiteral("hubrix")), QStringList());
    }
    int status() const {
        QProcess child;
        child.setProcessEnvironment(environment);
        QSignalSpy finished(&child, &QProcess::finished);
        child.start(QStringLiteral(HUBRIXCTL),
                    {QStringLiteral("--dir"), dir.path(), QStringLiteral("status")});
        if (!finished.wait(10'000))
            child.kill();
        return child.exitCode();
    }
    bool answers() const {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 20'000) {
            if (status() == 0)
                return true;
            QTest::qWait(100);
        }
        return false;
    }
};
} // namespace

class OneProgramTest : public QObject {
    Q_OBJECT
private slots:
    // Started the way its autostart entry starts it, a portable copy finds the simulated boards
    // with no click, and the entry is one desktops accept.
    void unattendedStart_connectsWithNoClick() {
        QTemporaryDir runtime;
        ProgramCopy copy(runtime.path());
        QFile::copy(QStringLiteral(HUBRIXCTL), copy.dir.filePath(QStringLiteral("hubrixctl")));
        HubRack rack(copy.dir.path());
        QVERIFY(rack.addBoard(3, 0x0102));
        QProcess unattended;
        QProcessEnvironment environment = copy.environment;
        environment.insert(QStringLiteral("HUBRIX_BINDIR"), copy.dir.path());
        unattended.setProcessEnvironment(environment);
        unattended.start(QStringLiteral(UNATTENDED), QStringList());
        // Tile 1 reads off once link 1 holds the board: before, it is not connected.
        const auto tileOne = [&copy] {
            QProcess child;
            child.setProcessEnvironment(copy.environment);
            QSignalSpy finished(&child, &QProcess::finished);
            child.start(QStringLiteral(HUBRIXCTL),
                        {QStringLiteral("--dir"), copy.dir.path(), QStringLiteral("get"), "1"});
            if (!finished.wait(10'000))
                child.kill();
            return QString::fromUtf8(child.readAllStandardOutput());
        };
        QTRY_COMPARE_WITH_TIMEOUT(tileOne(), QStringLiteral("tile 1 off\n"), 30'000);
        unattended.kill();
        QProcess::execute(QStringLiteral("pkill"), {QStringLiteral("-KILL"), QStringLiteral("-f"),
                                                    copy.dir.filePath(QStringLiteral("hubrix"))});
        unattended.waitForFinished();
        QCOMPARE(QProcess::execute(QStringLiteral("desktop-file-validate"),
                                   {QStringLiteral(UNATTENDED_ENTRY)}),
                 0);
    }

    void initTestCase() {
        QVERIFY(runtime_.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path()));
    }

    void secondStart_raisesTheFirstAndEnds_andAKilledOnesLockBlocksNothing() {
        ProgramCopy copy(runtime_.path());
        QProcess first;
        copy.start(first);
        QVERIFY(copy.answers());

        QProcess second;
        QSignalSpy ended(&second, &QProcess::finished);
        QElapsedTimer clock;
        clock.start();
        copy.start(second);
        // A box would keep it running: it asked the first to the front instead.
        QVERIFY(ended.wait(5000));
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(second.exitCode(), 1);
        const QString said = QString::fromUtf8(second.readAllStandardError());
        QVERIFY2(said.contains(Message) && said.contains(copy.dir.path()), qPrintable(said));
        QCOMPARE(copy.status(), 0);

        first.kill();
        QVERIFY(first.waitForFinished(5000));
        QProcess third;
        copy.start(third);
        QVERIFY(copy.answers());
        third.kill();
        QVERIFY(third.waitForFinished(5000));
    }

    void unreachableProgram_isToldInABox() {
        TestRig rig;
        DirectoryLock other(rig.dir.path());
        QVERIFY(other.take());
        other.noteChannelProblem(QStringLiteral("no private runtime directory"));
        bool shown = false;
        const int exitCode = runProgram(Services{rig.speech, rig.serialPorts, rig.waits,
                                                 rig.dialogs, rig.network, rig.tune, rig.writer},
                                        rig.dir.path(), [&](Program&) { shown = true; });
        QCOMPARE(exitCode, 1);
        QVERIFY(!shown);
        QCOMPARE(rig.dialogs.shown.size(), 1);
        QCOMPARE(rig.dialogs.shown[0].text, Message);
        QVERIFY(rig.dialogs.shown[0].detail.contains(rig.dir.path()));
    }

    void missingChannel_isToldInTheStatusLineAndToScripts() {
        TestRig rig;
        QTemporaryDir noModule;
        QString line;
        std::optional<QString> toldScripts;
        const int exitCode =
            runProgram(Services{rig.speech, rig.serialPorts, rig.waits, rig.dialogs, rig.network,
                                rig.tune, rig.writer},
                       rig.dir.path(),
                       [&](Program& program) {
                           QTimer::singleShot(0, &program.window(), [&] {
                               line = program.window().ui().statusLine->history().join(u'\n');
                               toldScripts = control_address::channelProblem(rig.dir.path());
                               program.window().close();
                           });
                       },
                       {noModule.path()});
        QCOMPARE(exitCode, 0);
        QVERIFY2(line.contains(QStringLiteral("脚本通道不可用：the network module is missing")),
                 qPrintable(line));
        QCOMPARE(toldScripts,
                 std::optional<QString>(QStringLiteral("the network module is missing")));
        // Once the program has ended, nobody runs there.
        QCOMPARE(control_address::channelProblem(rig.dir.path()), std::nullopt);
    }

private:
    QTemporaryDir runtime_;
};

QTEST_MAIN(OneProgramTest)
#include "test_one_program.moc"
