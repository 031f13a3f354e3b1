// Lines that misbehave, through the program's real serial code against the simulator on
// pseudo-terminals: noise in the same burst as an echo, and a port that loops back on a low
// port number.
#include "fakes/real_rig.h"
#include "ui/styled_button.h"

#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class HostileEndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void strayByteBeforeEveryReply_costsNoSwitch() {
        RealRig rig;
        QVERIFY(rig.rack.addBoard(2, 0x0102));
        Program& program = rig.start();
        rig.ui().connectButton->click();
        QCOMPARE(program.rack().port(1), 2);
        QCOMPARE(program.state().links[0].deviceNumber, QStringLiteral("0102"));

        QVERIFY(rig.rack.setFault(2, HubRack::Fault::StrayBeforeReply));
        for (int round = 0; round < 3; ++round) {
            rig.tile(6)->click();
            QTRY_COMPARE(rig.tile(6)->text(), QStringLiteral("已打开"));
            QVERIFY(rig.rack.slotOn(2, 6));
            rig.tile(6)->click();
            QTRY_VERIFY(!rig.tile(6)->isLit());
            QVERIFY(!rig.rack.slotOn(2, 6));
        }
        QCOMPARE(program.state().links[0].deviceNumber, QStringLiteral("0102"));
        QCOMPARE(rig.rack.framesRejected(2), 0);
    }

    void loopbackPort_hidesNoBoardAndPassesForNone() {
        RealRig rig;
        QVERIFY(rig.rack.addLoopbackPort(1));
        QVERIFY(rig.rack.addBoard(3, 0x0A0B));
        Program& program = rig.start();
        rig.ui().connectButton->click();
        QCOMPARE(program.rack().port(1), 3);
        QCOMPARE(program.state().links[0].deviceNumber, QStringLiteral("0A0B"));
        for (int k = 2; k <= LinkCount; ++k)
            QVERIFY2(!program.rack().isFound(k), qPrintable(QString::number(k)));
        rig.tile(1)->click();
        QTRY_COMPARE(rig.tile(1)->text(), QStringLiteral("已打开"));
        QVERIFY(rig.rack.slotOn(3, 1));
        rig.tile(1)->click();
        QTRY_VERIFY(!rig.tile(1)->isLit());
    }
};

QTEST_MAIN(HostileEndToEndTest)
#include "test_hostile_end_to_end.moc"
