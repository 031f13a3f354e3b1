#include "fakes/test_rig.h"
#include "ops/stage_controls.h"
#include "store/stores.h"
#include "ui/colours.h"
#include "ui/lamp.h"
#include "ui/styled_button.h"
#include "ui/tab_control.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTest>

namespace {
const MainWindow::Controls& ui(TestRig& rig) {
    return rig.program->window().ui();
}

QStringList bindingRecord(const TestRig& rig) {
    QStringList fields;
    for (int k = 1; k <= LinkCount; ++k)
        fields << rig.storedField(stores::BindingFile, stores::BindingAlias, 1, k);
    return fields;
}

QStringList alreadyBound(const QList<int>& links) {
    QStringList prompts;
    for (int k : links)
        prompts << QStringLiteral("端口%1已绑定").arg(k);
    return prompts;
}

// Eight binding fields: the device number 0k0k for each link given, the others empty.
QStringList boundFields(const QList<int>& links) {
    QStringList fields(LinkCount);
    for (int k : links)
        fields[k - 1] = QStringLiteral("0%1").arg(k).repeated(2);
    return fields;
}

// A board numbered 0000 whose answer is not the query frame sent back unchanged, which is
// what a port that loops back gives and is no answer: it marks offset 6.
void addBoardNumberedZero(FakeSerialBus& bus, int port) {
    bus.addPort(port, [](const QByteArray& written) {
        QByteArray reply = FakeSerialBus::boardReply(0x0000, written);
        if (reply.size() == 12 && quint8(reply[2]) == 0x80) {
            reply[6] = char(0x01);
            reply[9] = char(reply[9] + 1);
        }
        return reply;
    });
}

// "PORT:DEVICE" puts a board on the port, "PORT:-" a device that never answers.
void plug(FakeSerialBus& bus, const QStringList& ports) {
    for (const QString& entry : ports) {
        const QStringList parts = entry.split(u':');
        if (parts[1] == u'-')
            bus.addPort(parts[0].toInt());
        else if (parts[1] == QLatin1String("0000"))
            addBoardNumberedZero(bus, parts[0].toInt());
        else
            bus.addBoard(parts[0].toInt(), quint16(parts[1].toUInt(nullptr, 16)));
    }
}

// The state in which the button is enabled: a binding that a bound connect or 按钮4_绑定 made.
Program& startBound(TestRig& rig, const QStringList& fields) {
    rig.bindAtFirstStart(fields);
    Program& program = rig.start();
    program.state().linkMode = LinkMode::Bound;
    program.state().addDevice.offered = true;
    showAddDevice(program.context());
    return program;
}

// Where a query click that found boards leaves the button.
void atBindStage(TestRig& rig, int queryLink) {
    rig.program->state().addDevice = {
        .offered = true, .bindNext = true, .queryLink = queryLink, .boardFound = true};
    showAddDevice(rig.program->context());
}

const std::optional<quint32> Green(colour::Green);
const std::optional<quint32> Red(colour::Red);
} // namespace

// 超级按钮337: the query stage over the unbound links and the bind stage that stores them.
class AddDeviceTest : public QObject {
    Q_OBJECT
private slots:
    void allLinksBound_onlySaysSo() {
        TestRig rig;
        Program& program = startBound(rig, boundFields({1, 2, 3, 4, 5, 6, 7, 8}));
        const qsizetype spokenBefore = rig.speech.spoken.size();
        ui(rig).addDeviceButton->click();
        QCOMPARE(rig.speech.spoken.mid(spokenBefore), alreadyBound({1, 2, 3, 4, 5, 6, 7, 8}));
        QCOMPARE(ui(rig).addDeviceButton->text(), QStringLiteral("添加设备"));
        QVERIFY(!ui(rig).addDeviceButton->isLit());
        QCOMPARE(program.state().linkMode, LinkMode::Bound);
        QVERIFY(rig.bus.writes.isEmpty());
        QVERIFY(rig.waits.waits.isEmpty());
        QVERIFY(!program.store().isOpen(stores::BindingAlias));
    }

    void queryStage_showsTheBoardsOfUnboundLinks_data() {
        QTest::addColumn<QList<int>>("bound");
        QTest::addColumn<QStringList>("ports");
        QTest::addColumn<int>("foundLink");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("caption");
        // What the button reads while link 8 is probed; empty when link 8 is bound.
        QTest::addColumn<QString>("captionDuringLink8");

        QTest::newRow("only link 3 unbound, found with 04D2")
            << QList<int>{1, 2, 4, 5, 6, 7, 8} << QStringList{QStringLiteral("5:04D2")} << 3 << 5
            << QStringLiteral("端口3设备号：1234") << QStringLiteral("绑定设备") << QString();
        QTest::newRow("link 5 found, link 8 silent: the caption is mended")
            << QList<int>{1, 2, 3, 4, 6, 7}
            << QStringList{QStringLiteral("2:0505"), QStringLiteral("9:-")} << 5 << 2
            << QStringLiteral("端口5设备号：1285") << QStringLiteral("绑定设备")
            << QStringLiteral("绑定设备");
        QTest::newRow("link 8 found")
            << QList<int>{1, 2, 3, 4, 5, 6, 7} << QStringList{QStringLiteral("6:0808")} << 8 << 6
            << QStringLiteral("端口8设备号：2056") << QStringLiteral("绑定设备")
            << QStringLiteral("添加设备");
        QTest::newRow("link 8 answers with device number 0")
            << QList<int>{1, 2, 3, 4, 5, 6, 7} << QStringList{QStringLiteral("4:0000")} << 0 << 4
            << QString() << QStringLiteral("正在查询8") << QStringLiteral("添加设备");
        QTest::newRow("nothing found: the plain look gives the first caption back")
            << QList<int>{} << QStringList{QStringLiteral("9:-")} << 0 << 0 << QString()
            << QStringLiteral("添加设备") << QStringLiteral("正在查询7");
    }
    void queryStage_showsTheBoardsOfUnboundLinks() {
        QFETCH(QList<int>, bound);
        QFETCH(QStringList, ports);
        QFETCH(int, foundLink);
        QFETCH(int, port);
        QFETCH(QString, title);
        QFETCH(QString, caption);
        QFETCH(QString, captionDuringLink8);

        TestRig rig;
        plug(rig.bus, ports);
        Program& program = startBound(rig, boundFields(bound));
        const QString connectCaption = ui(rig).connectButton->text();
        std::array<bool, LinkCount> pagesEnabled{};
        for (int k = 1; k <= LinkCount; ++k)
            pagesEnabled[size_t(k - 1)] = ui(rig).tileArea->isPageEnabled(k - 1);
        QString seenDuringLink8;
        rig.waits.duringWait = [&](int) {
            if (rig.bus.writes.last().component == QStringLiteral("端口8"))
                seenDuringLink8 = ui(rig).addDeviceButton->text();
        };
        const qsizetype spokenBefore = rig.speech.spoken.size();
        ui(rig).addDeviceButton->click();

        QList<int> unbound;
        for (int k = 1; k <= LinkCount; ++k) {
            if (!bound.contains(k))
                unbound << k;
        }
        QCOMPARE(rig.speech.spoken.mid(spokenBefore), alreadyBound(bound));
        // Bound links are never probed.
        for (int k : bound)
            QVERIFY(rig.bus.writesTo(QStringLiteral("端口%1").arg(k)).isEmpty());
        for (int wait : rig.waits.waits)
            QCOMPARE(wait, 100);
        QCOMPARE(ui(rig).addDeviceButton->text(), caption);
        QCOMPARE(seenDuringLink8, captionDuringLink8);
        QCOMPARE(ui(rig).addDeviceButton->isLit(), foundLink != 0);
        QCOMPARE(ui(rig).addDeviceButton->colourSlot(2), foundLink ? colour::Green : 0u);
        QCOMPARE(ui(rig).addDeviceButton->colourSlot(4), foundLink ? colour::Green : 0u);
        QCOMPARE(ui(rig).connectionLamp->colour(), foundLink ? Green : Red);
        for (int k = 1; k <= LinkCount; ++k) {
            QCOMPARE(ui(rig).linkLamps[size_t(k - 1)]->colour(), k == foundLink ? Green : Red);
            QCOMPARE(ui(rig).tileArea->isPageEnabled(k - 1),
                     k == foundLink || pagesEnabled[size_t(k - 1)]);
            QCOMPARE(ui(rig).tileArea->pageTitle(k - 1),
                     k == foundLink ? title : QStringLiteral("端口%1").arg(k));
        }
        QCOMPARE(ui(rig).tileArea->isHidden(), foundLink == 0);
        const int addressed = foundLink != 0 ? foundLink : unbound.last();
        QCOMPARE(program.rack().port(addressed), port);
        if (foundLink != 0) {
            // Shown once; the next query stage must hear the board again.
            QCOMPARE(program.state().links[size_t(foundLink - 1)].receiver.answerLength(), 0);
        }
        QCOMPARE(ui(rig).connectButton->text(),
                 foundLink == 8 ? QStringLiteral("连接完成") : connectCaption);
        QCOMPARE(program.state().linkMode, LinkMode::Bound);
        QVERIFY(!program.store().isOpen(stores::BindingAlias));
        // The query stage stores nothing.
        QCOMPARE(bindingRecord(rig), boundFields(bound));
    }

    void linkAnsweringWithDeviceNumberZero_bindsAtTheNextClick() {
        TestRig rig;
        addBoardNumberedZero(rig.bus, 4);
        Program& program = startBound(rig, boundFields({1, 2, 3, 4, 5, 6, 7}));
        // The bound connect heard the bound boards.
        for (int k = 1; k <= 7; ++k)
            rig.findBoard(k, quint16(k * 0x0101));
        ui(rig).addDeviceButton->click();
        QCOMPARE(ui(rig).addDeviceButton->text(), QStringLiteral("正在查询8"));
        QCOMPARE(program.state().links[7].receiver.answerLength(), 24);
        const int writes = int(rig.bus.writes.size());
        ui(rig).addDeviceButton->click();
        QCOMPARE(rig.bus.writes.size(), writes);
        QStringList expected = boundFields({1, 2, 3, 4, 5, 6, 7});
        expected[7] = QStringLiteral("0000");
        QCOMPARE(bindingRecord(rig), expected);
        QCOMPARE(ui(rig).addDeviceButton->text(), QStringLiteral("添加设备"));
    }

    void bindStage_storesTheLinksItFound_data() {
        QTest::addColumn<QStringList>("earlierRecord");
        QTest::addColumn<int>("queryLink");
        QTest::newRow("over the binding record") << boundFields({1, 2}) << 0;
        QTest::newRow("after a query caption") << boundFields({1, 2}) << 8;
        // Written into a record that is not there, the boards just found would be lost.
        QTest::newRow("no binding record yet") << QStringList() << 0;
    }
    void bindStage_storesTheLinksItFound() {
        QFETCH(QStringList, earlierRecord);
        QFETCH(int, queryLink);
        TestRig rig;
        if (earlierRecord.isEmpty())
            rig.start();
        else
            startBound(rig, earlierRecord);
        rig.findBoard(1, 0x0101);
        rig.findBoard(3, 0x04D2);
        atBindStage(rig, queryLink);
        ui(rig).addDeviceButton->click();

        QCOMPARE(rig.storedRecordCount(stores::BindingFile, stores::BindingAlias), 1);
        // Link 2's board is absent now: it stays bound to it, and link 1 keeps its board.
        QStringList expected = earlierRecord.isEmpty() ? QStringList(LinkCount) : earlierRecord;
        expected.resize(LinkCount);
        if (expected[0].isEmpty())
            expected[0] = QStringLiteral("0101");
        expected[2] = QStringLiteral("04D2");
        QCOMPARE(bindingRecord(rig), expected);
        QCOMPARE(ui(rig).addDeviceButton->text(), QStringLiteral("添加设备"));
        QVERIFY(!ui(rig).addDeviceButton->isLit());
        QVERIFY(!rig.speech.spoken.contains(QStringLiteral("绑定失败")));
        QVERIFY(rig.bus.writes.isEmpty());
        QVERIFY(!rig.program->store().isOpen(stores::BindingAlias));
    }

    void bindStage_whenTheStoreCannotBeWritten_saysSoAndKeepsTheStage() {
        TestRig rig;
        rig.start();
        rig.stop();
        rig.replaceWithForeignFile(stores::BindingFile, "not a store");
        rig.start();
        rig.answer(1, 0x0101);
        atBindStage(rig, 0);
        ui(rig).addDeviceButton->click();
        QCOMPARE(rig.speech.spoken.last(), QStringLiteral("绑定失败"));
        QCOMPARE(ui(rig).addDeviceButton->text(), QStringLiteral("绑定设备"));
        QVERIFY(ui(rig).addDeviceButton->isLit());
        QFile foreign(rig.path(stores::BindingFile));
        QVERIFY(foreign.open(QIODevice::ReadOnly));
        QCOMPARE(foreign.readAll(), QByteArray("not a store"));
    }

    // A bind with no board answered leaves the store without a record; the boards that
    // add-device finds afterwards must still be known at the next start.
    void boardsAddedAfterAnEmptyBind_areFoundByTheNextBoundConnect() {
        TestRig rig;
        rig.bus.addBoard(7, 0x0707);
        rig.start();
        ui(rig).bindButton->setEnabled(true);
        rig.dialogs.answers = {Dialogs::Answer::Yes};
        ui(rig).bindButton->click();
        QVERIFY(ui(rig).addDeviceButton->isEnabled());
        QCOMPARE(rig.storedRecordCount(stores::BindingFile, stores::BindingAlias), 0);

        ui(rig).addDeviceButton->click();
        QCOMPARE(ui(rig).tileArea->pageTitle(0), QStringLiteral("端口1设备号：1799"));
        QCOMPARE(ui(rig).addDeviceButton->text(), QStringLiteral("绑定设备"));
        ui(rig).addDeviceButton->click();
        QCOMPARE(bindingRecord(rig).first(), QStringLiteral("0707"));

        rig.stop();
        Program& program = rig.start();
        QCOMPARE(ui(rig).connectButton->text(), QStringLiteral("开始连接"));
        ui(rig).connectButton->click();
        QCOMPARE(program.rack().port(1), 7);
        QCOMPARE(ui(rig).tileArea->pageTitle(0), QStringLiteral("端口1绑定设备号：1799"));
        QCOMPARE(rig.dialogs.shown.size(), 1);
    }

    void disconnectDuringAScan_endsTheQueryStage() {
        TestRig rig;
        for (int port = 1; port <= 3; ++port)
            rig.bus.addPort(port);
        Program& program = startBound(rig, boundFields({}));
        rig.waits.duringWait = [&](int wait) {
            if (wait == 1)
                ui(rig).disconnectButton->click();
        };
        ui(rig).addDeviceButton->click();
        // Link 1 stops at its next probe and no later link is scanned.
        QCOMPARE(rig.waits.waits.size(), 2);
        for (int k = 2; k <= LinkCount; ++k)
            QVERIFY(rig.bus.writesTo(QStringLiteral("端口%1").arg(k)).isEmpty());
        QCOMPARE(program.state().linkMode, LinkMode::Closed);
        QVERIFY(!ui(rig).addDeviceButton->isEnabled());
        QCOMPARE(ui(rig).addDeviceButton->text(), QStringLiteral("添加设备"));
        QVERIFY(!program.store().isOpen(stores::BindingAlias));
    }

    // The links stay bound after the query stage, whichever link was queried last.
    void disconnectAfterTheQueryStage_endsItAndLeavesABoundConnectNext() {
        TestRig rig;
        rig.bus.addBoard(5, 0x04D2);
        startBound(rig, boundFields({1, 2, 4, 5, 6, 7, 8}));
        ui(rig).addDeviceButton->click();
        QCOMPARE(ui(rig).addDeviceButton->text(), QStringLiteral("绑定设备"));
        ui(rig).disconnectButton->click();
        QCOMPARE(ui(rig).connectButton->text(), QStringLiteral("开始连接"));
        QCOMPARE(rig.program->state().linkMode, LinkMode::Bound);
        // The disconnect ends the bind stage too.
        QCOMPARE(ui(rig).addDeviceButton->text(), QStringLiteral("添加设备"));
        QVERIFY(!ui(rig).addDeviceButton->isLit());
    }
};

QTEST_MAIN(AddDeviceTest)
#include "test_add_device.moc"
