#include "fakes/inline_writer.h"
#include "fakes/test_rig.h"
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
const auto& ui(Program& program) {
    return program.window().ui();
}

void expectSearchControlsLocked(Program& program) {
    const auto& controls = ui(program);
    QVERIFY(!controls.searchText->isEnabled());
    QVERIFY(controls.searchText->text().isEmpty());
    QCOMPARE(controls.searchLamp->colour(), std::nullopt);
    QVERIFY(!controls.searchButton->isEnabled());
    QCOMPARE(controls.searchButton->text(), QStringLiteral("开始搜索"));
    QVERIFY(!controls.addDeviceButton->isEnabled());
    QVERIFY(!controls.addDeviceButton->isLit());
    QVERIFY(!controls.viewButton->isEnabled());
    QVERIFY(!controls.favouriteViewButton->isEnabled());
    QVERIFY(!controls.favourites->isEnabled());
    QVERIFY(!controls.searchResults->isEnabled());
    QCOMPARE(controls.searchResults->count(), 0);
}

void expectLinksClosed(Program& program) {
    for (int k = 1; k <= 8; ++k) {
        QVERIFY(!program.port(k).isOpen());
        QCOMPARE(ui(program).linkLamps[size_t(k - 1)]->colour(),
                 std::optional<quint32>(colour::Red));
        QVERIFY(!ui(program).tileArea->isPageEnabled(k - 1));
    }
    QCOMPARE(ui(program).connectionLamp->colour(), std::optional<quint32>(colour::Red));
    QVERIFY(ui(program).tileArea->isHidden());
}
} // namespace

class DisconnectTest : public QObject {
    Q_OBJECT
private slots:
    void queryMode_closesTheLinksAndForgetsTheBoards() {
        TestRig rig;
        rig.bus.addBoard(2, 0x0102);
        rig.bus.addBoard(6, 0x0203);
        Program& program = rig.start();
        ui(program).connectButton->click();
        ui(program).searchResults->addItem(QStringLiteral("3:结果"));
        ui(program).favourites->addItem(QStringLiteral("3:常用"));
        QVERIFY(program.port(1).isOpen());

        ui(program).disconnectButton->click();
        QCOMPARE(program.state().linkMode, LinkMode::Closed);
        QCOMPARE(ui(program).connectButton->text(), QStringLiteral("连接设备"));
        QCOMPARE(ui(program).disconnectButton->text(), QStringLiteral("已断开"));
        QVERIFY(!ui(program).bindButton->isEnabled());
        expectLinksClosed(program);
        expectSearchControlsLocked(program);
        QCOMPARE(ui(program).favourites->count(), 1);
        for (const LinkState& link : program.state().links) {
            QCOMPARE(link.receiver.answerLength(), 0);
            QVERIFY(link.deviceNumber.isEmpty());
        }
        QVERIFY(rig.dialogs.shown.isEmpty());

        // A second click finds the links closed and only locks the search controls again.
        ui(program).connectButton->setText(QStringLiteral("别动"));
        ui(program).searchText->setEnabled(true);
        ui(program).disconnectButton->click();
        QCOMPARE(ui(program).connectButton->text(), QStringLiteral("别动"));
        QCOMPARE(ui(program).disconnectButton->text(), QStringLiteral("已断开"));
        expectSearchControlsLocked(program);
    }

    void boundMode_keepsTheBindingAndForgetsTheAnswers() {
        TestRig rig;
        rig.bindAtFirstStart({QStringLiteral("0102")});
        rig.bus.addBoard(3, 0x0102);
        Program& program = rig.start();
        ui(program).connectButton->click();
        QCOMPARE(program.rack().port(1), 3);

        ui(program).disconnectButton->click();
        QCOMPARE(program.state().linkMode, LinkMode::Bound);
        QCOMPARE(ui(program).connectButton->text(), QStringLiteral("开始连接"));
        QCOMPARE(ui(program).disconnectButton->text(), QStringLiteral("已断开"));
        expectLinksClosed(program);
        expectSearchControlsLocked(program);
        // The next bound run probes for the board again, wherever it is plugged in by then.
        QCOMPARE(program.state().links[0].receiver.answerLength(), 0);
        QVERIFY(!program.rack().isFound(1));
        for (const LinkState& link : program.state().links)
            QVERIFY(link.deviceNumber.isEmpty());

        TableStore check{inlineWriter()};
        QVERIFY(check.openTable(rig.path(stores::BindingFile), stores::BindingAlias));
        check.makeCurrent(stores::BindingAlias);
        QCOMPARE(check.recordCount(), 1);
        QCOMPARE(check.readField(1), QStringLiteral("0102"));
    }

    void deviceSwitchedOn_refusesDisconnectAndClose() {
        TestRig rig;
        rig.bus.addBoard(1, 0x0102);
        Program& program = rig.start();
        ui(program).connectButton->click();
        StyledButton* tile = program.window().tile(2).button;
        tile->click();
        rig.bus.deliver();
        QCOMPARE(tile->text(), QStringLiteral("已打开"));
        ui(program).searchText->setEnabled(true);

        ui(program).disconnectButton->click();
        QCOMPARE(rig.dialogs.shown.size(), 1);
        QCOMPARE(rig.dialogs.shown[0].text, QStringLiteral("请关闭已打开的设备"));
        QVERIFY(rig.dialogs.shown[0].title.isEmpty());
        QCOMPARE(rig.dialogs.shown[0].icon, Dialogs::Icon::Warning);
        QCOMPARE(rig.dialogs.shown[0].buttons, Dialogs::Buttons::Ok);
        QCOMPARE(program.state().anyDeviceOpen, 1);
        QVERIFY(program.port(1).isOpen());
        QVERIFY(ui(program).searchText->isEnabled());
        QCOMPARE(program.state().linkMode, LinkMode::Query);

        program.window().show();
        QVERIFY(!program.window().close());
        QVERIFY(program.window().isVisible());
        QCOMPARE(rig.dialogs.shown.size(), 2);
        QVERIFY(program.port(1).isOpen());

        // Switched off again, the window may close, and the links are closed first.
        tile->click();
        rig.bus.deliver();
        QVERIFY(program.window().close());
        QCOMPARE(program.state().anyDeviceOpen, 0);
        QVERIFY(!program.port(1).isOpen());
        QCOMPARE(ui(program).disconnectButton->text(), QStringLiteral("已停止"));
    }

    void closedMode_onlyLocksTheSearchControls() {
        TestRig rig;
        Program& program = rig.start();
        program.state().linkMode = LinkMode::Closed;
        ui(program).searchText->setEnabled(true);
        ui(program).disconnectButton->click();
        QCOMPARE(ui(program).connectButton->text(), QStringLiteral(" 连接设备"));
        QCOMPARE(ui(program).disconnectButton->text(), QStringLiteral("断开连接"));
        expectSearchControlsLocked(program);
    }

    void stopDuringABoundRunAfterAFoundLink_keepsProbing() {
        TestRig rig;
        rig.bindAtFirstStart({QStringLiteral("0102"), QStringLiteral("0203")});
        rig.bus.addBoard(1, 0x0102);
        rig.bus.addPort(2);
        Program& program = rig.start();
        bool clicked = false;
        rig.waits.duringWait = [&](int) {
            if (!clicked && ui(program).connectButton->text() == QStringLiteral("连接成功1")) {
                clicked = true;
                ui(program).disconnectButton->click();
            }
        };
        ui(program).connectButton->click();
        QVERIFY(clicked);
        QCOMPARE(program.state().linkMode, LinkMode::Bound);
        // Link 2 went on probing for its board over two passes.
        QVERIFY(rig.bus.writesTo(QStringLiteral("端口2")).size() >= 2);
    }
};

QTEST_MAIN(DisconnectTest)
#include "test_disconnect.moc"
