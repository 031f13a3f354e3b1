// The program's real serial code and real waits against simulated hub boards on
// pseudo-terminals, all on this thread's event loop.
#include "fakes/real_rig.h"
#include "ui/colours.h"
#include "ui/lamp.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"

#include <QComboBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

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
        QCOMPARE(program.rack().port(1), 2);
        QCOMPARE(program.rack().port(2), 5);
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
        QSignalSpy losses(&program.port(1), &SerialPort::lost);
        // Link 1 holds the board when link 2 starts probing; pull the board's cable then.
        QTimer::singleShot(300, &rig.rack, [&] {
            QVERIFY(program.port(1).isOpen());
            QVERIFY(rig.rack.unplug(1));
        });
        rig.ui().connectButton->click();
        QVERIFY(!program.port(1).isOpen());
        // The link no longer looks connected, and with no other board the run found none.
        QCOMPARE(rig.ui().linkLamps[0]->colour(), std::optional<quint32>(colour::Red));
        QCOMPARE(rig.ui().connectionLamp->colour(), std::optional<quint32>(colour::Red));
        QVERIFY(!program.rack().isFound(1));
        QCOMPARE(rig.dialogs.shown.last().text, QStringLiteral("没有找到可连接的设备"));
        // A vanished device keeps reporting itself readable until it is closed: once is enough.
        QCOMPARE(losses.count(), 1);
        QTest::qWait(200);
        QCOMPARE(losses.count(), 1);
    }

    void strayByteOnTheLine_isDroppedBeforeTheNextFrame() {
        RealRig rig;
        QVERIFY(rig.rack.addBoard(4, 0x0304));
        Program& program = rig.start();
        rig.ui().connectButton->click();
        QCOMPARE(program.rack().port(1), 4);

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

    // A board plugged in while the program runs, with two boards bound already: add-device
    // finds it on the next free link, stores it, and the next start connects all three.
    void boardPluggedInLater_isAddedAndFoundAfterARestart() {
        RealRig rig;
        QVERIFY(rig.rack.addBoard(2, 0x0102));
        QVERIFY(rig.rack.addSilentPort(3));
        QVERIFY(rig.rack.addBoard(5, 0x0A0B));
        Program& first = rig.start();
        rig.ui().connectButton->click();
        rig.dialogs.answers = {Dialogs::Answer::Yes};
        rig.ui().bindButton->click();
        QTRY_COMPARE(rig.ui().connectButton->text(), QStringLiteral("开始连接"));
        rig.ui().connectButton->click();
        QVERIFY(rig.ui().addDeviceButton->isEnabled());

        QVERIFY(rig.rack.addBoard(7, 0x0C0D));
        rig.ui().addDeviceButton->click();
        QCOMPARE(first.rack().port(3), 7);
        QCOMPARE(rig.ui().tileArea->pageTitle(2), QStringLiteral("端口3设备号：3085"));
        QCOMPARE(rig.ui().addDeviceButton->text(), QStringLiteral("绑定设备"));
        QVERIFY(rig.speech.spoken.contains(QStringLiteral("端口1已绑定")));
        QVERIFY(rig.speech.spoken.contains(QStringLiteral("端口2已绑定")));
        rig.ui().addDeviceButton->click();
        QTRY_COMPARE(rig.ui().addDeviceButton->text(), QStringLiteral("添加设备"));

        rig.end();
        Program& second = rig.start();
        QCOMPARE(rig.ui().connectButton->text(), QStringLiteral("开始连接"));
        rig.ui().connectButton->click();
        const QList<int> ports{2, 5, 7};
        const QStringList titles{QStringLiteral("端口1绑定设备号：258"),
                                 QStringLiteral("端口2绑定设备号：2571"),
                                 QStringLiteral("端口3绑定设备号：3085")};
        for (int k = 1; k <= 3; ++k) {
            QCOMPARE(second.rack().port(k), ports[k - 1]);
            QCOMPARE(rig.ui().tileArea->pageTitle(k - 1), titles[k - 1]);
        }
        QVERIFY(!rig.ui().tileArea->isPageEnabled(3));
        QCOMPARE(rig.dialogs.shown.size(), 1);

        // Tile 85 is slot 1 of link 3: it reaches the board plugged in last.
        rig.tile(85)->click();
        QTRY_COMPARE(rig.tile(85)->text(), QStringLiteral("已打开"));
        QVERIFY(rig.rack.slotOn(7, 1));
        rig.tile(85)->click();
        QTRY_VERIFY(!rig.tile(85)->isLit());
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
