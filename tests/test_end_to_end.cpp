// The program's real serial code and real waits against simulated hub boards on
// pseudo-terminals, all on this thread's event loop.
#include "app/program.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_network.h"
#include "fakes/fake_speech.h"
#include "fakes/fake_tune.h"
#include "hubsim/hub_rack.h"
#include "platform/event_loop_waits.h"
#include "platform/qt_serial_port.h"
#include "ui/lamp.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"

#include <QComboBox>
#include <QPushButton>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {
struct RealRig {
    QTemporaryDir dir;
    HubRack rack{dir.path()};
    FakeSpeech speech;
    QtSerialPortFactory serialPorts{dir.path()};
    EventLoopWaits waits;
    FakeDialogs dialogs;
    FakeNetwork network;
    FakeTune tune;
    std::unique_ptr<Program> program;

    Program& start() {
        program = std::make_unique<Program>(
            Services{speech, serialPorts, waits, dialogs, network, tune}, dir.path());
        program->window().ui().probeWaitList->setCurrentIndex(0);
        return *program;
    }
    const MainWindow::Controls& ui() const { return program->window().ui(); }
    StyledButton* tile(int n) const { return program->window().tile(n).button; }
};
} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void connectSwitchDisconnectAndClose() {
        RealRig rig;
        QVERIFY(rig.rack.addSilentPort(1));
        QVERIFY(rig.rack.addBoard(2, 0x0102));
        QVERIFY(rig.rack.addSilentPort(3));
        QVERIFY(rig.rack.addBoard(5, 0x0A0B));
        Program& program = rig.start();
        program.window().show();

        rig.ui().connectButton->click();
        QCOMPARE(program.state().links[0].address, QStringLiteral("02"));
        QCOMPARE(program.state().links[1].address, QStringLiteral("05"));
        QCOMPARE(rig.ui().tileArea->pageTitle(0), QStringLiteral("端口1设备号：258"));
        QCOMPARE(rig.ui().tileArea->pageTitle(1), QStringLiteral("端口2设备号：2571"));
        QVERIFY(!rig.ui().tileArea->isPageEnabled(2));
        QVERIFY(rig.dialogs.shown.isEmpty());

        // Tile 47 is slot 5 of link 2, whose board sits on port 5.
        rig.tile(47)->click();
        QTRY_COMPARE(rig.tile(47)->text(), QStringLiteral("已打开"));
        QVERIFY(rig.rack.slotOn(5, 5));
        QVERIFY(!rig.rack.slotOn(2, 5));
        QCOMPARE(rig.rack.framesRejected(5), 0);

        rig.ui().disconnectButton->click();
        QCOMPARE(rig.dialogs.shown.size(), 1);
        QCOMPARE(rig.dialogs.shown[0].text, QStringLiteral("请关闭已打开的设备"));
        QVERIFY(program.port(2).isOpen());

        rig.tile(47)->click();
        QTRY_VERIFY(!rig.tile(47)->isLit());
        QVERIFY(!rig.rack.slotOn(5, 5));
        QCOMPARE(rig.tile(47)->text(), QStringLiteral("已关闭"));

        rig.ui().disconnectButton->click();
        QCOMPARE(rig.dialogs.shown.size(), 1);
        for (int k = 1; k <= 8; ++k)
            QVERIFY(!program.port(k).isOpen());
        QVERIFY(program.window().close());
    }

    void boardUnpluggedMidRun_isClosedWithoutSpinning() {
        RealRig rig;
        QVERIFY(rig.rack.addBoard(1, 0x0102));
        for (int port = 2; port <= 12; ++port)
            QVERIFY(rig.rack.addSilentPort(port));
        Program& program = rig.start();
        auto* serial = program.port(1).findChild<QSerialPort*>();
        QVERIFY(serial);
        QSignalSpy errors(serial, &QSerialPort::errorOccurred);
        // Link 1 holds the board when link 2 starts probing; pull the board's cable then.
        QTimer::singleShot(300, &rig.rack, [&] {
            QVERIFY(program.port(1).isOpen());
            QVERIFY(rig.rack.unplug(1));
        });
        rig.ui().connectButton->click();
        QVERIFY(!program.port(1).isOpen());
        QCOMPARE(rig.ui().connectButton->text(), QStringLiteral("已连接"));
        // A vanished device keeps reporting errors until it is closed: once is enough.
        const auto deviceErrors = [&] {
            return std::count_if(errors.begin(), errors.end(), [](const QList<QVariant>& error) {
                const auto kind = error[0].value<QSerialPort::SerialPortError>();
                return kind == QSerialPort::ResourceError || kind == QSerialPort::ReadError;
            });
        };
        QCOMPARE(deviceErrors(), 1);
        QTest::qWait(200);
        QCOMPARE(deviceErrors(), 1);
    }

    void strayByteOnTheLine_isDroppedBeforeTheNextFrame() {
        RealRig rig;
        QVERIFY(rig.rack.addBoard(4, 0x0304));
        Program& program = rig.start();
        rig.ui().connectButton->click();
        QCOMPARE(program.state().links[0].address, QStringLiteral("04"));

        // Noise on the idle line; the echo that follows comes long after it.
        QVERIFY(rig.rack.setFault(4, HubRack::Fault::StrayByte));
        QTest::qWait(100);
        rig.tile(9)->click();
        QTRY_COMPARE(rig.tile(9)->text(), QStringLiteral("已打开"));
        // Counted together with the stray byte, the echo's device number would be cut
        // one byte early and every later frame would go to a board that is not there.
        QCOMPARE(program.state().links[0].deviceNumber, QStringLiteral("0304"));
        rig.tile(9)->click();
        QTRY_VERIFY(!rig.tile(9)->isLit());
        QVERIFY(!rig.rack.slotOn(4, 9));
        QCOMPARE(rig.rack.framesRejected(4), 0);
    }

    void closingDuringAProbeWait_endsTheEventLoop() {
        RealRig rig;
        for (int port = 1; port <= 30; ++port)
            QVERIFY(rig.rack.addSilentPort(port));
        Program& program = rig.start();
        program.window().show();
        QTimer::singleShot(0, rig.ui().connectButton, &QPushButton::click);
        QTimer::singleShot(200, &program.window(), [&] { QVERIFY(program.window().close()); });
        QTimer::singleShot(10'000, qApp, [] { QFAIL("the event loop did not end"); });
        QObject::connect(qApp, &QGuiApplication::lastWindowClosed, qApp, &QCoreApplication::quit);
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(program.state().closing);
        QVERIFY(rig.dialogs.shown.isEmpty());
        for (int k = 1; k <= 8; ++k)
            QVERIFY(!program.port(k).isOpen());
    }
};

QTEST_MAIN(EndToEndTest)
#include "test_end_to_end.moc"
