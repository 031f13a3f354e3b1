// A link's whole life through the real serial code, against simulated boards on
// pseudo-terminals: found, switched, lost, found again on another port, stopped, and a program
// that ends without closing. Each case is a sequence that once left the window telling
// something the boards were not doing, or left the operator unable to close it.
#include "fakes/inline_writer.h"
#include "fakes/real_rig.h"
#include "store/store_session.h"
#include "store/stores.h"
#include "ui/colours.h"
#include "ui/drop_list.h"
#include "ui/lamp.h"
#include "ui/remark_box.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace {
const QString Opened = QStringLiteral("已打开");
const QString Closed = QStringLiteral("已关闭");

// Leaves the stores of a first start in the rig's directory, bound to these device numbers.
void bindBeforeStart(RealRig& rig, const QStringList& deviceNumbers) {
    rig.start();
    rig.end();
    TableStore store{inlineWriter()};
    QVERIFY(store.openTable(rig.path(stores::BindingFile), stores::BindingAlias));
    store.makeCurrent(stores::BindingAlias);
    QVERIFY(store.appendRecord(deviceNumbers));
}

QStringList bindingRecord(const RealRig& rig) {
    TableStore store{inlineWriter()};
    if (!store.openTable(rig.path(stores::BindingFile), stores::BindingAlias))
        return {QStringLiteral("<not open>")};
    QStringList fields;
    for (int k = 1; k <= LinkCount; ++k)
        fields << store.readField(k, stores::BindingAlias);
    return fields;
}

void switchOn(RealRig& rig, int tile) {
    rig.tile(tile)->click();
    QTRY_COMPARE(rig.tile(tile)->text(), Opened);
}
} // namespace

class LinkLifeEndToEndTest : public QObject {
    Q_OBJECT
private slots:
    // The cable of a board with a slot on is pulled: the tile keeps saying what is on, the
    // operator can still disconnect and close, and the board plugged in under another port is
    // found by the next run on the same link, its tile switchable again.
    void cablePulledWithATileOn_queryMode() {
        RealRig rig;
        QVERIFY(rig.rack.addBoard(2, 0x0102));
        QVERIFY(rig.rack.addSilentPort(3));
        Program& program = rig.start();
        rig.ui().connectButton->click();
        switchOn(rig, 5);

        QVERIFY(rig.rack.unplug(2));
        QTRY_COMPARE(rig.ui().linkLamps[0]->colour(), std::optional<quint32>(colour::Red));
        QVERIFY(!program.rack().isFound(1));
        QVERIFY(!program.port(1).isOpen());

        rig.tile(5)->click();
        QCOMPARE(rig.speech.spoken.last(), QStringLiteral("设备未连接"));
        QCOMPARE(rig.tile(5)->text(), Opened);

        // Closing asks, since the board may still power the slot; No keeps the window.
        QVERIFY(!program.window().close());
        QCOMPARE(rig.dialogs.shown.size(), 1);
        QCOMPARE(rig.dialogs.shown.last().buttons, Dialogs::Buttons::YesNo);
        QVERIFY(rig.dialogs.shown.last().text.contains(u'1'));

        // Disconnecting follows the same rule: it asks, and No keeps the links as they are.
        rig.ui().disconnectButton->click();
        QCOMPARE(rig.dialogs.shown.size(), 2);
        QVERIFY(rig.dialogs.shown.last().text.endsWith(QStringLiteral("确定要断开连接吗？")));

        QVERIFY(rig.rack.addBoard(4, 0x0102));
        rig.ui().connectButton->click();
        QCOMPARE(program.rack().port(1), 4);
        QCOMPARE(rig.ui().tileArea->pageTitle(0), QStringLiteral("端口1设备号：258"));
        // One board is one page: link 2 found nothing, since link 1 holds the board.
        QVERIFY(!program.rack().isFound(2));
        QCOMPARE(rig.tile(5)->text(), Opened);
        QVERIFY(rig.rack.slotOn(4, 5));

        rig.tile(5)->click();
        QTRY_VERIFY(!rig.rack.slotOn(4, 5));
        QTRY_VERIFY(!rig.tile(5)->isLit());
        const int boxes = int(rig.dialogs.shown.size());
        QVERIFY(program.window().close());
        QCOMPARE(rig.dialogs.shown.size(), boxes);
    }

    void cablePulledWithATileOn_boundModeFindsTheBoardAgain() {
        RealRig rig;
        bindBeforeStart(rig, {QStringLiteral("0102")});
        QVERIFY(rig.rack.addBoard(2, 0x0102));
        Program& program = rig.start();
        rig.ui().connectButton->click();
        QVERIFY(program.rack().isFound(1));
        switchOn(rig, 5);

        QVERIFY(rig.rack.unplug(2));
        QTRY_VERIFY(!program.rack().isFound(1));
        rig.dialogs.answers = {Dialogs::Answer::Yes};
        rig.ui().disconnectButton->click();
        QCOMPARE(rig.dialogs.shown.size(), 1);
        QCOMPARE(rig.dialogs.shown[0].text,
                 QStringLiteral("有1个设备可能仍在通电（未确认或连接已断开）。确定要断开连接吗？"));

        QVERIFY(rig.rack.addBoard(2, 0x0102));
        rig.ui().connectButton->click();
        QCOMPARE(program.rack().port(1), 2);
        QCOMPARE(rig.tile(5)->text(), Opened);
        rig.tile(5)->click();
        QTRY_VERIFY(!rig.rack.slotOn(2, 5));
    }

    // The only tiles on sit on a lost link: Yes closes.
    void closingWithTilesOnALostLink_asksOnceAndYesCloses() {
        RealRig rig;
        QVERIFY(rig.rack.addBoard(2, 0x0102));
        Program& program = rig.start();
        rig.ui().connectButton->click();
        switchOn(rig, 5);
        switchOn(rig, 6);
        QVERIFY(rig.rack.unplug(2));
        QTRY_VERIFY(!program.rack().isFound(1));
        rig.dialogs.answers = {Dialogs::Answer::Yes};
        QVERIFY(program.window().close());
        QCOMPARE(rig.dialogs.shown.size(), 1);
        QVERIFY(rig.dialogs.shown[0].text.contains(u'2'));
    }

    void unbindWithATileOn_isRefusedAndLeavesTheLinksOpen() {
        RealRig rig;
        QVERIFY(rig.rack.addBoard(2, 0x0102));
        Program& program = rig.start();
        rig.ui().connectButton->click();
        rig.dialogs.answers = {Dialogs::Answer::Yes};
        rig.ui().bindButton->click();
        QTRY_VERIFY(rig.ui().unbindButton->isEnabled());
        switchOn(rig, 5);

        rig.dialogs.answers = {Dialogs::Answer::Yes};
        rig.ui().unbindButton->click();
        QCOMPARE(rig.dialogs.shown.last().text, QStringLiteral("请关闭已打开的设备"));
        QVERIFY(program.port(1).isOpen());
        QVERIFY(rig.ui().tileArea->isVisibleTo(&program.window()));
        QCOMPARE(bindingRecord(rig).first(), QStringLiteral("0102"));

        rig.tile(5)->click();
        QTRY_VERIFY(!rig.tile(5)->isLit());
        rig.dialogs.answers = {Dialogs::Answer::Yes};
        rig.ui().unbindButton->click();
        QTRY_COMPARE(bindingRecord(rig).first(), QString());
        QVERIFY(program.window().close());
    }

    // The board of link 2 is gone at the next run: its page is unavailable and a favourite
    // on it does not bring it up.
    void viewJumpToALinkThatIsGone_saysSoAndStaysPut() {
        RealRig rig;
        bindBeforeStart(rig, {QStringLiteral("0102"), QStringLiteral("0203")});
        {
            TableStore store{inlineWriter()};
            QVERIFY(store.openTable(rig.path(stores::RemarkFile), stores::RemarkAlias));
            store.makeCurrent(stores::RemarkAlias);
            goToRecord(store, 43);
            QVERIFY(store.writeField(stores::FavouriteField, QStringLiteral("43:机柜")));
        }
        QVERIFY(rig.rack.addBoard(2, 0x0102));
        QVERIFY(rig.rack.addBoard(3, 0x0203));
        Program& program = rig.start();
        program.window().show();
        rig.ui().connectButton->click();
        QVERIFY(program.rack().isFound(2));
        rig.ui().disconnectButton->click();
        QVERIFY(rig.rack.unplug(3));
        rig.ui().connectButton->click();
        QVERIFY(!program.rack().isFound(2));
        QVERIFY(!program.rack().isFound(2));
        QVERIFY(!rig.ui().tileArea->isPageEnabled(1));

        QCOMPARE(rig.ui().favourites->currentText(), QStringLiteral("43:机柜"));
        rig.ui().favouriteViewButton->click();
        QCOMPARE(rig.speech.spoken.last(), QStringLiteral("设备未连接"));
        QVERIFY(rig.ui().tileArea->currentPage() != 1);
        QVERIFY(!program.window().tile(43).remarkBox->hasFocus());
        QVERIFY(!rig.ui().tileArea->setCurrentPage(1));
        QVERIFY(!program.window().tile(43).button->isEnabled());
    }

    // Board 0102 of link 1 is absent when a new board is added: link 1 stays bound to it.
    void addDevice_changesOnlyTheLinksItFound() {
        RealRig rig;
        bindBeforeStart(rig, {QStringLiteral("0102"), QStringLiteral("0203")});
        QVERIFY(rig.rack.addBoard(3, 0x0203));
        Program& program = rig.start();
        rig.ui().connectButton->click();
        QVERIFY(!program.rack().isFound(1));
        QVERIFY(program.rack().isFound(2));

        QVERIFY(rig.rack.addBoard(6, 0x7777));
        rig.ui().addDeviceButton->click();
        QCOMPARE(rig.ui().addDeviceButton->text(), QStringLiteral("绑定设备"));
        rig.ui().addDeviceButton->click();
        QTRY_COMPARE(
            bindingRecord(rig).mid(0, 3),
            (QStringList{QStringLiteral("0102"), QStringLiteral("0203"), QStringLiteral("7777")}));
    }

    // Link 1's bound board is absent and its scan ends on port 30, where link 2's board sits.
    void scanWithoutABoard_letsGoOfItsLastPort() {
        RealRig rig;
        bindBeforeStart(rig, {QStringLiteral("0102"), QStringLiteral("0203")});
        QVERIFY(rig.rack.addBoard(30, 0x0203));
        Program& program = rig.start();
        rig.ui().connectButton->click();
        QVERIFY(!program.port(1).isOpen());
        QCOMPARE(program.rack().port(2), 30);
        QVERIFY(rig.dialogs.shown.isEmpty());
    }

    // The program ends without closing (a kill, a crash, a power cut of the PC): the boards keep
    // their slots, and the next start shows them at once on the links they were last found on,
    // as possibly powered until the same boards are found again.
    void restart_showsWhatTheBoardsKeptOn() {
        RealRig rig;
        QVERIFY(rig.rack.addBoard(2, 0x0102));
        QVERIFY(rig.rack.addBoard(3, 0x0203));
        rig.start();
        rig.ui().connectButton->click();
        switchOn(rig, 5);
        switchOn(rig, 44);
        QTest::qWait(20);
        rig.end();

        rig.start();
        QCOMPARE(rig.tile(5)->text(), Opened);
        QCOMPARE(rig.program->rack().state(5), SlotState::Unknown);
        rig.ui().connectButton->click();
        QCOMPARE(rig.tile(5)->text(), Opened);
        QCOMPARE(rig.program->rack().state(5), SlotState::On);
        QCOMPARE(rig.tile(44)->text(), Opened);
        QCOMPARE(rig.ui().openDevices->count(), 2);
        QVERIFY(!rig.program->window().close());
        QCOMPARE(rig.dialogs.shown.last().text, QStringLiteral("请关闭已打开的设备"));
        rig.end();

        // Link 2's board swapped for another: its tile is not on at that board, and the board
        // that left is listed with the slot it may still power.
        QVERIFY(rig.rack.unplug(3));
        QVERIFY(rig.rack.addBoard(4, 0x0A0A));
        rig.start();
        rig.ui().connectButton->click();
        QCOMPARE(rig.tile(5)->text(), Opened);
        QCOMPARE(rig.tile(44)->text(), Closed);
        QVERIFY(
            !rig.ui()
                 .openDevices
                 ->findItems(QStringLiteral("设备号0203：1个设备可能仍在通电"), Qt::MatchExactly)
                 .isEmpty());
        QTest::qWait(20);
        rig.end();
        QVERIFY(rig.rack.unplug(4));
        QVERIFY(rig.rack.addBoard(5, 0x0203));
        rig.start();
        // The same board back: what it kept comes with it (its slot is off here only because the
        // simulated board came back blank, which no program can tell from a board that kept it).
        rig.ui().connectButton->click();
        QCOMPARE(rig.tile(44)->text(), Opened);
    }

    // The board switches the slot but its echo never comes: the tile says so after a second,
    // and a late echo still confirms it.
    void echoThatNeverComes_isShownOnTheTile() {
        RealRig rig;
        QVERIFY(rig.rack.addBoard(2, 0x0102));
        Program& program = rig.start();
        rig.ui().connectButton->click();
        QVERIFY(rig.rack.setFault(2, HubRack::Fault::DropEcho));
        rig.tile(7)->click();
        QCOMPARE(rig.tile(7)->confirmation(), StyledButton::Confirmation::Awaited);
        QTRY_VERIFY(rig.rack.slotOn(2, 7));
        QTRY_COMPARE(rig.tile(7)->confirmation(), StyledButton::Confirmation::Missing);
        QCOMPARE(rig.tile(7)->text(), Closed);
        QVERIFY(program.rack().asked(7)->overdue);

        QVERIFY(rig.rack.setFault(2, HubRack::Fault::LateReply, 1500));
        rig.tile(7)->click();
        QCOMPARE(rig.tile(7)->confirmation(), StyledButton::Confirmation::Awaited);
        QTRY_COMPARE_WITH_TIMEOUT(rig.tile(7)->confirmation(), StyledButton::Confirmation::Missing,
                                  1400);
        QTRY_COMPARE_WITH_TIMEOUT(rig.tile(7)->text(), Opened, 3000);
        QCOMPARE(rig.tile(7)->confirmation(), StyledButton::Confirmation::Confirmed);
    }
};

QTEST_MAIN(LinkLifeEndToEndTest)
#include "test_link_life_end_to_end.moc"
