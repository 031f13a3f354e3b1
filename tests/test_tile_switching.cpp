#include "fakes/bytes.h"
#include "fakes/test_rig.h"
#include "hub/frame_codec.h"
#include "store/stores.h"
#include "ui/colours.h"
#include "ui/lamp.h"
#include "ui/styled_button.h"

#include <QListWidget>
#include <QTest>

namespace {
void arrive(Program& program, int link, const QByteArray& data) {
    for (char byte : data)
        emit program.port(link).byteArrived(quint8(byte));
}

QStringList lines(const QListWidget& list) {
    QStringList texts;
    for (int row = 0; row < list.count(); ++row)
        texts.append(list.item(row)->text());
    return texts;
}
} // namespace

// Tile clicks and the echoes that confirm them, on links whose boards are connected.
class TileSwitchingTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        rig_ = std::make_unique<TestRig>();
        // Board k sits on serial port 10 + k with device number 0x0100 + k.
        for (int k = 1; k <= 8; ++k)
            rig_->bus.addBoard(10 + k, quint16(0x0100 + k));
        program_ = &rig_->start();
        GlobalState& state = program_->state();
        for (int k = 1; k <= 8; ++k) {
            program_->port(k).setPortNumber(10 + k);
            QVERIFY(program_->port(k).open());

            state.links[size_t(k - 1)].deviceNumber =
                QStringLiteral("01%1").arg(k, 2, 10, QChar(u'0'));
            program_->rack().linkFound(k, state.links[size_t(k - 1)].deviceNumber, 10 + k);
        }
        state.connectDone = 1;
    }
    void cleanup() {
        program_ = nullptr;
        rig_.reset();
    }

    void click_sendsTheSwitchFrameOnTheTilesLink_data() {
        QTest::addColumn<int>("tile");
        QTest::addColumn<int>("link");
        QTest::addColumn<int>("slot");
        QTest::newRow("tile 1") << 1 << 1 << 0x01;
        QTest::newRow("tile 10") << 10 << 1 << 0x0A;
        QTest::newRow("tile 42") << 42 << 1 << 0x2A;
        QTest::newRow("tile 43") << 43 << 2 << 0x01;
        QTest::newRow("tile 336") << 336 << 8 << 0x2A;
    }
    void click_sendsTheSwitchFrameOnTheTilesLink() {
        QFETCH(int, tile);
        QFETCH(int, link);
        QFETCH(int, slot);
        StyledButton* button = program_->window().tile(tile).button;
        button->click();

        QCOMPARE(rig_->bus.writes.size(), 1);
        const auto& write = rig_->bus.writes[0];
        QCOMPARE(write.component, QStringLiteral("端口%1").arg(link));
        QCOMPARE(write.portNumber, 10 + link);
        const int address = 10 + link;
        const int checksum = (460 + 1 + address + 0x0100 + link + slot) & 0xFF;
        QCOMPARE(write.bytes, bytes({0xA5, 0xA6, 0x81, address, 0x01, link, 0x00, slot, 0x01,
                                     checksum, 0xA7, 0xA8}));
        QCOMPARE(button->text(), QStringLiteral("已关闭"));
        const RackModel::Asked* awaited = program_->rack().asked(tile);
        QVERIFY(awaited && awaited->on);
        QCOMPARE(awaited->key, QString::fromLatin1(write.bytes.mid(2, 8).toHex().toUpper()));

        settle();
        QCOMPARE(button->text(), QStringLiteral("已打开"));
        QVERIFY(button->isLit());
        QCOMPARE(button->colourSlot(1), colour::White);
        QCOMPARE(button->colourSlot(2), colour::Blue);
        QCOMPARE(button->colourSlot(3), colour::DarkGreen);
        QCOMPARE(button->colourSlot(4), colour::Green);
        QCOMPARE(program_->window().tile(tile).lamp->colour(),
                 std::optional<quint32>(colour::Blue));
        // Record 1 carries the store's "1" mark as tile 1's remark.
        const QString remark = tile == 1 ? QStringLiteral("1") : QStringLiteral("没有备注");
        QCOMPARE(lines(*program_->window().ui().openDevices),
                 QStringList{QString::number(tile) + QStringLiteral("：") + remark});
    }

    void slotTen_awaitsTheWholeFrameBodyNotJustTheDigitsBeforeTheA() {
        program_->window().tile(10).button->click();
        QCOMPARE(program_->rack().asked(10)->key, QStringLiteral("810B0101000A01E3"));
    }

    void switchOff_showsClosedAtOnceAndTheEchoUndoesTheLitLook() {
        StyledButton* button = program_->window().tile(5).button;
        button->click();
        settle();
        QCOMPARE(button->text(), QStringLiteral("已打开"));

        button->click();
        QCOMPARE(button->text(), QStringLiteral("已关闭"));
        QVERIFY(button->isLit());
        QCOMPARE(quint8(rig_->bus.writes.last().bytes[8]), quint8(0x00));
        QCOMPARE(program_->rack().asked(5)->on, false);
        settle();
        QVERIFY(!button->isLit());
        QCOMPARE(button->colourSlot(4), 0u);
        QCOMPARE(program_->window().tile(5).lamp->colour(), std::optional<quint32>(colour::Red));
        QVERIFY(lines(*program_->window().ui().openDevices).isEmpty());
    }

    void openDevicesLine_carriesTheStoredRemark() {
        TableStore& store = program_->store();
        QVERIFY(store.openTable(rig_->path(stores::RemarkFile), stores::RemarkAlias));
        store.makeCurrent(stores::RemarkAlias);
        store.goToFirstRecord();
        for (int r = 1; r < 44; ++r)
            store.skip();
        store.writeField(1, QStringLiteral("二号机柜左"));
        store.closeTable(stores::RemarkAlias);

        program_->window().tile(44).button->click();
        settle();
        QCOMPARE(lines(*program_->window().ui().openDevices),
                 QStringList{QStringLiteral("44：二号机柜左")});
    }

    void repeatedEcho_keepsOneLinePerTile() {
        program_->window().tile(5).button->click();
        const QByteArray echo = rig_->bus.writes.last().bytes;
        settle();
        rig_->bus.feed(11, echo);
        settle();
        QCOMPARE(lines(*program_->window().ui().openDevices).size(), 1);
    }

    void echoesAfterLaterClicks_eachConfirmTheirOwnTile() {
        StyledButton* five = program_->window().tile(5).button;
        StyledButton* six = program_->window().tile(6).button;
        five->click();
        six->click();
        settle();
        for (int tile : {5, 6}) {
            QCOMPARE(program_->window().tile(tile).button->text(), QStringLiteral("已打开"));
            QCOMPARE(program_->window().tile(tile).lamp->colour(),
                     std::optional<quint32>(colour::Blue));
        }
        QCOMPARE(lines(*program_->window().ui().openDevices),
                 (QStringList{QStringLiteral("5：没有备注"), QStringLiteral("6：没有备注")}));
    }

    // A click on a tile whose link has no board used to take over the one pending switch, so
    // the echo of the tile clicked before lit the wrong tile.
    void clickOnALinkWithoutABoard_beforeAnEcho_leavesTheEchoToItsTile() {
        program_->rack().linkGone(3);
        program_->window().tile(1).button->click();
        program_->window().tile(100).button->click();
        settle();
        QCOMPARE(program_->window().tile(1).button->text(), QStringLiteral("已打开"));
        QCOMPARE(program_->window().tile(100).button->text(), QStringLiteral("已关闭"));
        QVERIFY(!program_->window().tile(100).button->isLit());
        QCOMPARE(program_->window().tile(100).lamp->colour(), std::optional<quint32>(colour::Red));
    }

    void manyClicksBeforeTheirEchoes_confirmEveryTile() {
        QList<int> clicked;
        for (int i = 0; i < 40; ++i)
            clicked << 1 + (i * 8) % TileCount;
        for (int tile : clicked)
            program_->window().tile(tile).button->click();
        settle();
        for (int tile : clicked)
            QCOMPARE(program_->window().tile(tile).button->text(), QStringLiteral("已打开"));
        QCOMPARE(program_->window().ui().openDevices->count(), clicked.size());
    }

    // Keys cut at the first digit A made every frame of a board numbered 1A2B look alike.
    void boardNumberWithADigitA_keepsTheTilesApart() {
        rig_->bus.addBoard(21, 0x1A2B);
        program_->port(4).setPortNumber(21);
        QVERIFY(program_->port(4).open());

        program_->state().links[3].deviceNumber = QStringLiteral("1A2B");
        program_->rack().linkFound(4, QStringLiteral("1A2B"), 21);
        StyledButton* first = program_->window().tile(127).button;
        StyledButton* second = program_->window().tile(128).button;
        first->click();
        settle();
        second->click();
        QCOMPARE(second->text(), QStringLiteral("已关闭"));
        first->click(); // switch off
        settle();
        QCOMPARE(first->text(), QStringLiteral("已关闭"));
        QVERIFY(!first->isLit());
        QCOMPARE(second->text(), QStringLiteral("已打开"));
        QVERIFY(second->isLit());
    }

    void clickThatSendsNothing_leavesNothingForALateEcho() {
        StyledButton* button = program_->window().tile(9).button;
        button->click();
        program_->state().connectRunsGoing = 1;
        button->click();
        settle();
        QCOMPARE(button->text(), QStringLiteral("已关闭"));
        QVERIFY(!button->isLit());
        QCOMPARE(program_->window().ui().openDevices->count(), 0);
    }

    void frames_beforeAnyClickChangeNoTile() {
        arrive(*program_, 1,
               bytes({0xA5, 0xA6, 0x81, 0x0B, 0x01, 0x01, 0x00, 0x05, 0x01, 0xE1, 0xA7, 0xA8}));
        QCOMPARE(program_->state().echoFlag, 0);
        QCOMPARE(program_->window().tile(5).button->text(), QStringLiteral("已关闭"));
        QCOMPARE(program_->window().tile(5).lamp->colour(), std::optional<quint32>(colour::Red));
        QCOMPARE(program_->window().ui().openDevices->count(), 0);
    }

    void arrival_framesByCountAndKeepsTheDeviceNumber() {
        const QByteArray reply =
            bytes({0xA5, 0xA6, 0x80, 0x01, 0x12, 0x34, 0x00, 0x00, 0x00, 0x12, 0xA7, 0xA8});
        const LinkState& link = program_->state().links[0];
        arrive(*program_, 1, reply.left(11));
        QCOMPARE(link.receiver.answerLength(), 22);
        QCOMPARE(link.deviceNumber, QStringLiteral("0101"));
        arrive(*program_, 1, reply.mid(11));
        QCOMPARE(link.receiver.answerLength(), 24);
        QCOMPARE(link.deviceNumber, QStringLiteral("1234"));
        QCOMPARE(program_->state().echoFlag, 1);
        QCOMPARE(program_->state().receivedKey, QStringLiteral("8001123400000012"));
        arrive(*program_, 1, bytes({0xA5}));
        QCOMPARE(link.receiver.answerLength(), 2);
        QCOMPARE(link.deviceNumber, QStringLiteral("1234"));
        // Other links are untouched.
        QCOMPARE(program_->state().links[1].deviceNumber, QStringLiteral("0102"));
    }

    void arrival_recoversFromAStrayByte() {
        StyledButton* button = program_->window().tile(3).button;
        button->click();
        const QByteArray echo = rig_->bus.writes.last().bytes;
        arrive(*program_, 1, bytes({0x00}));
        rig_->waits.advance(FrameAssembler::GapMs + 1);
        settle();
        QCOMPARE(button->text(), QStringLiteral("已打开"));
        rig_->waits.advance(FrameAssembler::GapMs + 1);
        // A lost byte: the frame is cut short and the next one still lands whole.
        arrive(*program_, 1, echo.left(7));
        rig_->waits.advance(FrameAssembler::GapMs + 1);
        button->click();
        settle();
        QVERIFY(!button->isLit());
        QCOMPARE(button->text(), QStringLiteral("已关闭"));
    }

    void click_duringARunOnlySpeaks() {
        program_->state().connectRunsGoing = 1;
        program_->window().tile(7).button->click();
        QVERIFY(rig_->bus.writes.isEmpty());
        QCOMPARE(rig_->speech.spoken.last(), QStringLiteral("设备正在连接，请稍后"));
        QVERIFY(!program_->rack().asked(7));
    }

    void click_onALinkWithoutABoardSendsNothing_data() {
        QTest::addColumn<bool>("linkGone");
        QTest::newRow("link gone") << true;
        QTest::newRow("no device number") << false;
    }
    void click_onALinkWithoutABoardSendsNothing() {
        QFETCH(bool, linkGone);
        if (linkGone)
            program_->rack().linkGone(3);
        else
            program_->state().links[2].deviceNumber.clear();
        program_->window().tile(90).button->click();
        QVERIFY(rig_->bus.writes.isEmpty());
        QCOMPARE(rig_->speech.spoken.last(), QStringLiteral("设备未连接"));
        QVERIFY(!program_->rack().asked(90));
    }

    void clickingTwiceBeforeTheEcho_sendsTheSwitchOnFrameTwice() {
        StyledButton* button = program_->window().tile(12).button;
        button->click();
        button->click();
        QCOMPARE(rig_->bus.writes.size(), 2);
        QCOMPARE(rig_->bus.writes[0].bytes, rig_->bus.writes[1].bytes);
        QCOMPARE(button->text(), QStringLiteral("已关闭"));
    }

private:
    // The echoes come in, and the moment passes after which their states are kept.
    void settle() {
        rig_->waits.processPendingEvents();
        rig_->waits.advance(0);
    }

    std::unique_ptr<TestRig> rig_;
    Program* program_ = nullptr;
};

QTEST_MAIN(TileSwitchingTest)
#include "test_tile_switching.moc"
