#include "fakes/bytes.h"
#include "fakes/test_rig.h"
#include "ui/colours.h"
#include "ui/lamp.h"
#include "ui/styled_button.h"

#include <QPushButton>
#include <QTest>

namespace {
void arrive(Program& program, int link, const QByteArray& data) {
    for (char byte : data)
        emit program.port(link).byteArrived(quint8(byte));
}

// Link k found on serial port 10 + k with device number 0k0k, as after a connect run.
void connectLink(TestRig& rig, int link) {
    const int portNumber = 10 + link;
    rig.bus.addBoard(portNumber, quint16(0x0101 * link));
    Program& program = *rig.program;
    program.port(link).setPortNumber(portNumber);
    QVERIFY(program.port(link).open());
    LinkState& state = program.state().links[size_t(link - 1)];

    state.deviceNumber = QStringLiteral("%1").arg(0x0101 * link, 4, 16, QLatin1Char('0'));
    program.rack().linkFound(link, state.deviceNumber, portNumber);
    program.state().connectDone = 1;
}
} // namespace

// Lines, ports and operators that do not behave: none of it may cost more than the frame it
// spoils, leave a board wrongly numbered, or pile up work without end.
class HostileLinesTest : public QObject {
    Q_OBJECT
private slots:
    void clicksInsideEveryWait_nestOneRunDeepAtMost() {
        TestRig rig;
        for (int port = 1; port <= SerialPortCount; ++port)
            rig.bus.addPort(port);
        Program& program = rig.start();
        int clicks = 0;
        int deepest = 0;
        rig.waits.duringWait = [&](int) {
            deepest = std::max(deepest, program.state().connectRunsGoing);
            if (clicks < 1000) {
                ++clicks;
                program.window().ui().connectButton->click();
            }
        };
        program.window().ui().connectButton->click();
        // Clicks in the clicked run's waits nest a run; clicks inside that one do nothing.
        QCOMPARE(clicks, 1000);
        QCOMPARE(deepest, 2);
        QCOMPARE(program.state().connectRunsGoing, 0);
    }

    void strayByteInTheSameBurstAsAnEcho_costsNothing() {
        TestRig rig;
        rig.start();
        connectLink(rig, 1);
        StyledButton* button = rig.program->window().tile(3).button;
        button->click();
        const QByteArray echo = rig.bus.writes.last().bytes;
        rig.bus.writes.clear();
        // The board's echo is kept back and delivered behind a stray byte, in one burst.
        rig.bus.deliver();
        QCOMPARE(button->text(), QStringLiteral("已打开"));
        button->click();
        arrive(*rig.program, 1, QByteArray(1, '\0') + rig.bus.writes.last().bytes);
        QCOMPARE(button->text(), QStringLiteral("已关闭"));
        QVERIFY(!button->isLit());
        QCOMPARE(rig.program->state().links[0].deviceNumber, QStringLiteral("0101"));
        QVERIFY(!echo.isEmpty());
    }

    // Noise that still made whole twelve-byte frames used to renumber the board for good.
    void noiseOnAFoundLink_leavesItsDeviceNumber() {
        TestRig rig;
        rig.start();
        connectLink(rig, 1);
        QByteArray noise;
        for (int i = 0; i < 120; ++i)
            noise.append(char((i * 37 + 11) % 0xA5));
        arrive(*rig.program, 1, noise);
        QCOMPARE(rig.program->state().links[0].deviceNumber, QStringLiteral("0101"));
        rig.waits.advance(FrameAssembler::GapMs + 1);
        rig.program->window().tile(1).button->click();
        const QByteArray frame = rig.bus.writes.last().bytes;
        QCOMPARE(frame.mid(4, 2), bytes({0x01, 0x01}));
        rig.bus.deliver();
        QCOMPARE(rig.program->window().tile(1).button->text(), QStringLiteral("已打开"));
    }

    void realignment_data() {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<QString>("frame");
        const QByteArray reply =
            bytes({0xA5, 0xA6, 0x80, 0x01, 0x12, 0x34, 0x00, 0x00, 0x00, 0x12, 0xA7, 0xA8});
        QTest::newRow("one stray byte") << QByteArray(1, '\x00') + reply
                                        << QStringLiteral("A5A6800112340000001"
                                                          "2A7A8");
        QTest::newRow("three stray bytes") << bytes({0x11, 0x22, 0xA5}) + reply
                                           << QStringLiteral("A5A6800112340000001"
                                                             "2A7A8");
        // A board whose frames carry no header is read by count as before.
        QTest::newRow("no header anywhere")
            << bytes({0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B})
            << QStringLiteral("101112131415161718191A1B");
    }
    void realignment() {
        QFETCH(QByteArray, received);
        QFETCH(QString, frame);
        FrameAssembler assembler;
        QStringList frames;
        for (char byte : received) {
            if (auto text = assembler.push(quint8(byte), 0))
                frames << *text;
        }
        QCOMPARE(frames, QStringList{frame});
    }

    // A device on a low port that chatters left half a frame behind, which the next port's
    // answer completed into a board with an invented number.
    void chatterOnOnePort_isNotCarriedToTheNext() {
        TestRig rig;
        rig.bus.addPort(1);
        rig.bus.addBoard(2, 0x0202);
        Program& program = rig.start();
        // The device on port 1 sends on its own, up to the end of the wait there.
        rig.waits.duringWait = [&](int wait) {
            if (wait != 0)
                return;
            rig.waits.advance(95);
            rig.bus.feed(1, bytes({0xA5, 0xA6, 0x01, 0x02, 0x03}));
            rig.bus.deliver();
        };
        program.window().ui().connectButton->click();
        QCOMPARE(program.rack().port(1), 2);
        QCOMPARE(program.state().links[0].deviceNumber, QStringLiteral("0202"));
    }

    void portThatReturnsWhatIsSent_isNoBoard() {
        TestRig rig;
        rig.bus.addPort(1, [](const QByteArray& written) { return written; });
        rig.bus.addBoard(3, 0x0303);
        Program& program = rig.start();
        program.window().ui().connectButton->click();
        QCOMPARE(program.rack().port(1), 3);
        QCOMPARE(program.state().links[0].deviceNumber, QStringLiteral("0303"));
        // No other link takes the loopback for a board either.
        for (int k = 2; k <= LinkCount; ++k)
            QVERIFY(!program.rack().isFound(k));
    }

    void unpluggedLink_looksAndActsDisconnected() {
        TestRig rig;
        rig.start();
        connectLink(rig, 1);
        connectLink(rig, 2);
        Program& program = *rig.program;
        const auto& ui = program.window().ui();
        for (Lamp* lamp : {ui.connectionLamp, ui.linkLamps[0], ui.linkLamps[1]})
            lamp->setColour(colour::Green);

        rig.bus.unplug(11);
        QCOMPARE(ui.linkLamps[0]->colour(), std::optional<quint32>(colour::Red));
        QCOMPARE(ui.connectionLamp->colour(), std::optional<quint32>(colour::Green));
        program.window().tile(5).button->click();
        QCOMPARE(rig.speech.spoken.last(), QStringLiteral("设备未连接"));
        QVERIFY(rig.bus.writes.isEmpty());

        rig.bus.unplug(12);
        QCOMPARE(ui.linkLamps[1]->colour(), std::optional<quint32>(colour::Red));
        QCOMPARE(ui.connectionLamp->colour(), std::optional<quint32>(colour::Red));
    }
};

QTEST_MAIN(HostileLinesTest)
#include "test_hostile_lines.moc"
