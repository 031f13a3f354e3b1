#include "fakes/test_rig.h"
#include "hub/frame_codec.h"
#include "store/stores.h"
#include "ui/colours.h"
#include "ui/lamp.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {
// The probe numbers of the query frames written on a link component.
QList<int> probes(const FakeSerialBus& bus, const QString& component) {
    QList<int> numbers;
    for (const auto& write : bus.writesTo(component)) {
        if (write.bytes.size() == 12 && quint8(write.bytes[2]) == 0x80)
            numbers.append(quint8(write.bytes[3]));
    }
    return numbers;
}

const auto& ui(TestRig& rig) {
    return rig.program->window().ui();
}
} // namespace

class ConnectRunTest : public QObject {
    Q_OBJECT
private slots:
    void queryRun_findsABoardRightAfterItsProbe() {
        TestRig rig;
        rig.bus.addPort(1);
        rig.bus.addPort(2);
        rig.bus.addBoard(3, 0x0102);
        Program& program = rig.start();
        ui(rig).connectButton->click();

        const LinkState& link = program.state().links[0];
        QCOMPARE(probes(rig.bus, QStringLiteral("端口1")), QList<int>({1, 2, 3}));
        QCOMPARE(program.rack().port(1), 3);
        QCOMPARE(link.probeCounter, 3);
        QCOMPARE(link.deviceNumber, QStringLiteral("0102"));
        QCOMPARE(program.port(1).openPortNumber(), 3);
        QCOMPARE(rig.waits.waits.first(), 100);
        QCOMPARE(ui(rig).tileArea->pageTitle(0), QStringLiteral("端口1设备号：258"));
        QVERIFY(ui(rig).tileArea->isPageEnabled(0));
        QVERIFY(!ui(rig).tileArea->isHidden());
        QCOMPARE(ui(rig).linkLamps[0]->colour(), std::optional<quint32>(colour::Green));
        QCOMPARE(ui(rig).connectionLamp->colour(), std::optional<quint32>(colour::Green));
        QVERIFY(ui(rig).bindButton->isEnabled());
        // Link 2 finds the board busy on link 1 and the other ports silent.
        QCOMPARE(probes(rig.bus, QStringLiteral("端口2")), QList<int>({1, 2}));
        for (int page = 1; page < 8; ++page) {
            QVERIFY(!ui(rig).tileArea->isPageEnabled(page));
            QCOMPARE(ui(rig).linkLamps[size_t(page)]->colour(),
                     std::optional<quint32>(colour::Red));
        }
        QCOMPARE(ui(rig).connectButton->text(), QStringLiteral("已连接"));
        QCOMPARE(ui(rig).disconnectButton->text(), QStringLiteral("断开连接"));
        QCOMPARE(program.state().connectDone, 1);
        QVERIFY(rig.dialogs.shown.isEmpty());
        // Every probe costs one wait: three on link 1, two on each of the others.
        QCOMPARE(rig.waits.waits.size(), 3 + 7 * 2);
    }

    void queryRun_boardOnPortOneGivesAddressOne() {
        TestRig rig;
        rig.bus.addBoard(1, 0x0007);
        Program& program = rig.start();
        ui(rig).connectButton->click();
        QCOMPARE(program.rack().port(1), 1);
        QCOMPARE(program.state().links[0].probeCounter, 1);
    }

    void queryRun_eachLinkTakesTheNextBoard() {
        TestRig rig;
        rig.bus.addBoard(4, 0x0101);
        rig.bus.addBoard(9, 0x0A0B);
        Program& program = rig.start();
        ui(rig).connectButton->click();
        QCOMPARE(program.rack().port(1), 4);
        QCOMPARE(program.rack().port(2), 9);
        QCOMPARE(ui(rig).tileArea->pageTitle(1), QStringLiteral("端口2设备号：2571"));
        QVERIFY(!program.rack().isFound(3));
    }

    void queryRun_noBoardShowsTheMessage() {
        TestRig rig;
        rig.bus.addPort(5);
        Program& program = rig.start();
        ui(rig).connectButton->click();
        QCOMPARE(rig.dialogs.shown.size(), 1);
        QCOMPARE(rig.dialogs.shown[0].text, QStringLiteral("没有找到可连接的设备"));
        QCOMPARE(rig.dialogs.shown[0].title, QStringLiteral("设备未找到"));
        QCOMPARE(rig.dialogs.shown[0].icon, Dialogs::Icon::Question);
        QCOMPARE(ui(rig).connectButton->text(), QStringLiteral("连接设备"));
        QCOMPARE(ui(rig).disconnectButton->text(), QStringLiteral("断开连接"));
        QCOMPARE(program.state().connectDone, 1);
        // The next click runs in query mode again.
        ui(rig).connectButton->click();
        QCOMPARE(program.state().linkMode, LinkMode::Query);
        QCOMPARE(rig.dialogs.shown.size(), 2);
    }

    // Eight links try every port, a bound link twice: each refused port counts once a run.
    void noBoardFound_countsThePortsRefusedForWantOfPermission_data() {
        QTest::addColumn<QStringList>("binding");
        QTest::addColumn<QList<int>>("refused");
        QTest::addColumn<QString>("detail");
        const QString hint =
            QStringLiteral("个串口存在，但当前账户没有打开它们的权限。"
                           "在 Linux 上请把当前账户加入 dialout 组"
                           "（sudo usermod -aG dialout $USER），然后注销并重新登录。");
        QTest::newRow("query run, two refused")
            << QStringList() << QList<int>{4, 9} << QStringLiteral("有2") + hint;
        QTest::newRow("bound run, one refused")
            << QStringList{QStringLiteral("0102"), QStringLiteral("0202")} << QList<int>{3}
            << QStringLiteral("有1") + hint;
        QTest::newRow("none refused") << QStringList() << QList<int>{} << QString();
    }
    void noBoardFound_countsThePortsRefusedForWantOfPermission() {
        QFETCH(QStringList, binding);
        QFETCH(QList<int>, refused);
        QFETCH(QString, detail);
        TestRig rig;
        if (!binding.isEmpty())
            rig.bindAtFirstStart(binding);
        rig.bus.addPort(5);
        rig.bus.addPort(12);
        for (int port : refused)
            rig.bus.refusePort(port);
        rig.start();
        // A second run counts afresh.
        for (int run = 1; run <= 2; ++run) {
            ui(rig).connectButton->click();
            QCOMPARE(rig.dialogs.shown.size(), run);
            const FakeDialogs::Shown& box = rig.dialogs.shown.last();
            QCOMPARE(box.text, QStringLiteral("没有找到可连接的设备"));
            QCOMPARE(box.title, QStringLiteral("设备未找到"));
            QCOMPARE(box.detail, detail);
        }
        for (int port : refused)
            QCOMPARE(rig.bus.openCount(port), 0);
    }

    void queryRun_probeWaitComesFromTheList() {
        TestRig rig;
        rig.bus.addPort(2);
        rig.start();
        ui(rig).probeWaitList->setCurrentIndex(7);
        ui(rig).connectButton->click();
        QCOMPARE(rig.waits.waits.size(), 8);
        for (int wait : rig.waits.waits)
            QCOMPARE(wait, 300);
    }

    void queryRun_stopDuringAWaitEndsAllProbing() {
        TestRig rig;
        rig.bus.addPort(1);
        rig.bus.addPort(2);
        rig.bus.addBoard(7, 0x0102);
        Program& program = rig.start();
        rig.waits.duringWait = [&](int wait) {
            if (wait == 0) {
                QCOMPARE(ui(rig).disconnectButton->text(), QStringLiteral("停止连接"));
                ui(rig).disconnectButton->click();
                QCOMPARE(ui(rig).disconnectButton->text(), QStringLiteral("断开连接"));
                QCOMPARE(ui(rig).connectButton->text(), QStringLiteral("连接设备"));
            }
        };
        ui(rig).connectButton->click();
        QCOMPARE(rig.waits.waits.size(), 1);
        QCOMPARE(rig.bus.writes.size(), 1);
        QCOMPARE(program.state().linkMode, LinkMode::Closed);
        QCOMPARE(rig.dialogs.shown.size(), 1);
        QCOMPARE(rig.dialogs.shown[0].text, QStringLiteral("没有找到可连接的设备"));
        QVERIFY(!program.port(1).isOpen());
        QVERIFY(ui(rig).tileArea->isHidden());
    }

    void queryRun_nestedClickRunsToTheEndFirst() {
        TestRig rig;
        rig.bus.addPort(1);
        rig.bus.addBoard(3, 0x0102);
        Program& program = rig.start();
        int nestedAt = -1;
        rig.waits.duringWait = [&](int wait) {
            if (wait == 0) {
                nestedAt = wait;
                QCOMPARE(ui(rig).connectButton->text(), QStringLiteral("正在连接"));
                ui(rig).connectButton->click();
            }
        };
        ui(rig).connectButton->click();
        QCOMPARE(nestedAt, 0);
        QCOMPARE(program.rack().port(1), 3);
        QCOMPARE(program.port(1).openPortNumber(), 3);
        QCOMPARE(program.state().linkMode, LinkMode::Query);
        QCOMPARE(program.state().connectDone, 1);
        QVERIFY(rig.dialogs.shown.isEmpty());
    }

    void queryRun_answerFromAnEarlierRunCountsWithoutProbing() {
        TestRig rig;
        rig.bus.addBoard(2, 0x0102);
        Program& program = rig.start();
        ui(rig).connectButton->click();
        const int writes = int(rig.bus.writesTo(QStringLiteral("端口1")).size());
        ui(rig).connectButton->click();
        QCOMPARE(rig.bus.writesTo(QStringLiteral("端口1")).size(), writes);
        QCOMPARE(program.rack().port(1), 2);
    }

    void boundRun_skipsABoardWithAnotherDeviceNumber() {
        TestRig rig;
        rig.bindAtFirstStart({QStringLiteral("0102")});
        rig.bus.addBoard(2, 0x0101);
        rig.bus.addBoard(5, 0x0102);
        Program& program = rig.start();
        QCOMPARE(ui(rig).connectButton->text(), QStringLiteral("开始连接"));
        ui(rig).connectButton->click();

        const LinkState& link = program.state().links[0];
        QCOMPARE(program.state().linkMode, LinkMode::Bound);
        QCOMPARE(link.probeCounter, 5);
        QCOMPARE(program.rack().port(1), 5);
        QCOMPARE(program.port(1).openPortNumber(), 5);
        for (int probe : probes(rig.bus, QStringLiteral("端口1")))
            QCOMPARE(probe, 1);
        QCOMPARE(ui(rig).tileArea->pageTitle(0), QStringLiteral("端口1绑定设备号：258"));
        QCOMPARE(ui(rig).connectButton->text(), QStringLiteral("连接完毕"));
        QCOMPARE(ui(rig).disconnectButton->text(), QStringLiteral("断开连接"));
        QVERIFY(ui(rig).favourites->isEnabled());
        QVERIFY(ui(rig).addDeviceButton->isEnabled());
        QVERIFY(ui(rig).searchText->isEnabled());
        QCOMPARE(program.state().connectDone, 1);
        QVERIFY(!program.store().isOpen(stores::BindingAlias));
        // Links with an empty binding field and no frame yet return without probing.
        for (int k = 2; k <= 8; ++k)
            QVERIFY(rig.bus.writesTo(QStringLiteral("端口%1").arg(k)).isEmpty());
        QVERIFY(!ui(rig).tileArea->isPageEnabled(1));
    }

    void boundRun_nothingFoundMakesTwoPassesAndShowsTheMessage() {
        TestRig rig;
        rig.bindAtFirstStart({QString(), QStringLiteral("0202")});
        rig.bus.addBoard(4, 0x0101);
        Program& program = rig.start();
        ui(rig).connectButton->click();
        // Link 1 has an empty field and no device number; link 2 probes twice over the one
        // port that opens (link 1 holds nothing), and the reply changes its device number.
        QCOMPARE(probes(rig.bus, QStringLiteral("端口2")).size(), 2);
        QCOMPARE(rig.dialogs.shown.size(), 1);
        QCOMPARE(ui(rig).connectButton->text(), QStringLiteral("开始连接"));
        QCOMPARE(ui(rig).disconnectButton->text(), QStringLiteral("已断开"));
        QCOMPARE(program.state().connectDone, 0);
    }

    void closingTheWindowDuringAWait_unwindsTheRunQuietly() {
        TestRig rig;
        for (int port = 1; port <= 30; ++port)
            rig.bus.addPort(port);
        Program& program = rig.start();
        program.window().show();
        rig.waits.duringWait = [&](int wait) {
            if (wait == 2)
                QVERIFY(program.window().close());
        };
        ui(rig).connectButton->click();
        QCOMPARE(rig.waits.waits.size(), 3);
        QVERIFY(rig.dialogs.shown.isEmpty());
        QVERIFY(program.window().isHidden());
        for (int k = 1; k <= 8; ++k)
            QVERIFY(!program.port(k).isOpen());
    }
};

QTEST_MAIN(ConnectRunTest)
#include "test_connect_run.moc"
