// A board that goes away and comes back, through the real serial code against simulated boards
// on pseudo-terminals, as a screen reader hears it: a lost link must never read like a link
// that was never found, nor a slot it may still power like a slot that is off.
#include "fakes/real_rig.h"
#include "ui/lamp.h"
#include "ui/status_line.h"
#include "ui/tab_control.h"

#include <QAccessible>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {
QString said(QObject* object, QAccessible::Text kind) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
    return face ? face->text(kind) : QStringLiteral("<no interface>");
}

QString lampDescription(RealRig& rig, int tile) {
    return said(rig.program->window().tile(tile).lamp, QAccessible::Description);
}

QString pageDescription(RealRig& rig, int link) {
    return said(rig.ui().tileArea->page(link - 1), QAccessible::Description);
}

int linesContaining(const RealRig& rig, const QString& text) {
    const QStringList& lines = rig.ui().statusLine->history();
    return int(std::count_if(lines.begin(), lines.end(),
                             [&](const QString& line) { return line.endsWith(text); }));
}

void switchOn(RealRig& rig, int tile) {
    rig.tile(tile)->click();
    QTRY_COMPARE(rig.tile(tile)->text(), QStringLiteral("已打开"));
}
} // namespace

class LostBoardEndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void boardLostAndFoundAgain_isMarkedAndToldOnce() {
        RealRig rig;
        QVERIFY(rig.rack.addBoard(2, 0x0102));
        Program& program = rig.start();
        Lamp& linkLamp = *rig.ui().linkLamps[0];
        QCOMPARE(linkLamp.label(), QStringLiteral("1"));
        rig.ui().connectButton->click();
        QCOMPARE(said(&linkLamp, QAccessible::Name), QStringLiteral("端口1 指示灯 绿色 设备号258"));
        QCOMPARE(linkLamp.label(), QStringLiteral("1\n258"));
        QCOMPARE(linkLamp.toolTip(), QStringLiteral("端口1 设备号258"));
        switchOn(rig, 5);
        switchOn(rig, 6);
        // Tile 8's board switches it without an echo: unknown before the cable goes.
        QVERIFY(rig.rack.setFault(2, HubRack::Fault::DropEcho));
        rig.tile(8)->click();
        QTRY_COMPARE(lampDescription(rig, 8), QStringLiteral("外形框18 未确认"));

        QVERIFY(rig.rack.unplug(2));
        QTRY_VERIFY(!program.rack().isFound(1));
        QCOMPARE(
            linesContaining(rig, QStringLiteral("端口1 设备号258 已断开，3个设备可能仍在通电")), 1);
        QCOMPARE(pageDescription(rig, 1), QStringLiteral("端口1 已断开"));
        QCOMPARE(said(&linkLamp, QAccessible::Description), QStringLiteral("外形框2 连接已断开"));
        QCOMPARE(linkLamp.label(), QStringLiteral("1\n258"));
        // The slots it may still power, on or not confirmed, read lost; the one off does not.
        for (int tile : {5, 6, 8})
            QCOMPARE(lampDescription(rig, tile),
                     QStringLiteral("外形框%1 连接已断开").arg(tile + 10));
        QCOMPARE(said(program.window().tile(5).lamp, QAccessible::Name),
                 QStringLiteral("设备5 指示灯 蓝色"));
        QCOMPARE(lampDescription(rig, 7), QStringLiteral("外形框17"));
        QCOMPARE(pageDescription(rig, 2), QStringLiteral("端口2"));

        // A run that finds nothing for the link tells the loss no second time.
        rig.ui().connectButton->click();
        QVERIFY(!program.rack().isFound(1));
        QCOMPARE(linesContaining(rig, QStringLiteral("已断开，3个设备可能仍在通电")), 1);
        QCOMPARE(pageDescription(rig, 1), QStringLiteral("端口1 已断开"));

        QVERIFY(rig.rack.addBoard(4, 0x0102));
        rig.ui().connectButton->click();
        QVERIFY(program.rack().isFound(1));
        QCOMPARE(linesContaining(rig, QStringLiteral("端口1 设备号258 已重新连接")), 1);
        QCOMPARE(pageDescription(rig, 1), QStringLiteral("端口1"));
        QCOMPARE(said(&linkLamp, QAccessible::Description), QStringLiteral("外形框2"));
        QCOMPARE(lampDescription(rig, 5), QStringLiteral("外形框15"));
        QCOMPARE(lampDescription(rig, 8), QStringLiteral("外形框18 未确认"));
    }

    // The model tells link 1's change again when the binding changes; the loss is said once.
    void bindingAfterALoss_tellsItNoSecondTime() {
        RealRig rig;
        QVERIFY(rig.rack.addBoard(2, 0x0102));
        QVERIFY(rig.rack.addBoard(3, 0x0203));
        Program& program = rig.start();
        rig.ui().connectButton->click();
        switchOn(rig, 5);
        QVERIFY(rig.rack.unplug(2));
        QTRY_VERIFY(!program.rack().isFound(1));
        rig.dialogs.answers = {Dialogs::Answer::Yes};
        QSignalSpy changes(&program.rack(), &RackModel::linkChanged);
        rig.ui().bindButton->click();
        QTRY_VERIFY(changes.contains(QVariantList{1}));
        QCOMPARE(
            linesContaining(rig, QStringLiteral("端口1 设备号258 已断开，1个设备可能仍在通电")), 1);
        QCOMPARE(pageDescription(rig, 1), QStringLiteral("端口1 已断开"));
    }

    // Taking a link off its port on purpose loses no board.
    void disconnect_isNoLoss() {
        RealRig rig;
        QVERIFY(rig.rack.addBoard(2, 0x0102));
        Program& program = rig.start();
        rig.ui().connectButton->click();
        rig.ui().disconnectButton->click();
        QVERIFY(!program.rack().isFound(1));
        QCOMPARE(linesContaining(rig, QStringLiteral("已断开，0个设备可能仍在通电")), 0);
        QCOMPARE(pageDescription(rig, 1), QStringLiteral("端口1"));
        QCOMPARE(said(rig.ui().linkLamps[0], QAccessible::Description), QStringLiteral("外形框2"));
        QCOMPARE(rig.ui().linkLamps[0]->label(), QStringLiteral("1"));
    }

    // The board switched the slot and its echo was dropped: the lamp says so, after a restart
    // too, and a confirmed switch takes the mark away.
    void droppedEcho_marksTheLampUnconfirmed() {
        RealRig rig;
        QVERIFY(rig.rack.addBoard(2, 0x0102));
        rig.start();
        rig.ui().connectButton->click();
        QVERIFY(rig.rack.setFault(2, HubRack::Fault::DropEcho));
        rig.tile(7)->click();
        QCOMPARE(lampDescription(rig, 7), QStringLiteral("外形框17"));
        QTRY_COMPARE(lampDescription(rig, 7), QStringLiteral("外形框17 未确认"));
        QTest::qWait(20);
        rig.end();

        rig.start();
        QCOMPARE(lampDescription(rig, 7), QStringLiteral("外形框17 未确认"));
        QVERIFY(rig.rack.setFault(2, HubRack::Fault::None));
        rig.ui().connectButton->click();
        rig.tile(7)->click();
        QTRY_COMPARE(rig.tile(7)->text(), QStringLiteral("已打开"));
        QCOMPARE(lampDescription(rig, 7), QStringLiteral("外形框17"));
    }
};

QTEST_MAIN(LostBoardEndToEndTest)
#include "test_lost_board_end_to_end.moc"
