#include "fakes/bytes.h"
#include "hubsim/hub_rack.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kBoardPort = 3;
constexpr quint16 kBoardDevice = 0x0102;

QByteArray queryReply(int probe, quint16 device = kBoardDevice) {
    const int sum = 0xA5 + 0xA6 + 0x80 + probe + (device >> 8) + (device & 0xFF);
    return bytes(
        {0xA5, 0xA6, 0x80, probe, device >> 8, device & 0xFF, 0, 0, 0, sum & 0xFF, 0xA7, 0xA8});
}

// A query is its own reply with the device number still blank.
QByteArray query(int probe) {
    return queryReply(probe, 0);
}

// The checksum takes the device number and the slot as whole 16-bit values.
QByteArray switchFrame(int slot, int command, quint16 device = kBoardDevice, int link = 0x03) {
    const int sum = 0xA5 + 0xA6 + 0x81 + command + link + device + slot;
    return bytes({0xA5, 0xA6, 0x81, link, device >> 8, device & 0xFF, slot >> 8, slot & 0xFF,
                  command, sum & 0xFF, 0xA7, 0xA8});
}

// The test's end of a simulated port, opened the way a plain serial program would.
class Line {
public:
    explicit Line(const QString& path, bool makeRaw = true)
        : fd_(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        termios settings{};
        if (makeRaw && ::tcgetattr(fd_, &settings) == 0) {
            ::cfmakeraw(&settings);
            ::tcsetattr(fd_, TCSANOW, &settings);
        }
    }
    ~Line() { ::close(fd_); }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    bool send(const QByteArray& data) {
        return ::write(fd_, data.constData(), data.size()) == data.size();
    }
    // Fewer than count bytes when they do not come in time, which the caller's comparison shows.
    QByteArray read(int count) {
        static_cast<void>(QTest::qWaitFor([&] { return pending().size() >= count; }, 5000));
        const QByteArray taken = buffer_.left(count);
        buffer_.remove(0, taken.size());
        return taken;
    }
    QByteArray pending() {
        char chunk[256];
        ssize_t count = 0;
        while ((count = ::read(fd_, chunk, sizeof chunk)) > 0)
            buffer_.append(chunk, count);
        return buffer_;
    }
    bool hungUp() const {
        pollfd watched{fd_, POLLIN, 0};
        return ::poll(&watched, 1, 0) == 1 && (watched.revents & (POLLHUP | POLLERR)) != 0;
    }

private:
    int fd_;
    QByteArray buffer_;
};

} // namespace

// Every test starts with a board of kBoardDevice on kBoardPort.
class TestHubsim : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<HubRack> rack_;

    Line open(int port = kBoardPort) { return Line(rack_->linkPath(port)); }
    // An answer that comes first shows that nothing else was waiting before it.
    void expectAnswer(Line& line, const QByteArray& sent, const QByteArray& answer) {
        QVERIFY(line.send(sent));
        QCOMPARE(line.read(answer.size()), answer);
    }

private slots:
    void init() {
        rack_.reset();
        dir_ = std::make_unique<QTemporaryDir>();
        rack_ = std::make_unique<HubRack>(dir_->path());
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
    }

    void portsAreLinkedAsComNOncePerNumberUntilTheRackGoes() {
        const QString com3 = dir_->path() + "/ports/COM3";
        const QString com4 = dir_->path() + "/ports/COM4";
        QVERIFY(rack_->devicePath(kBoardPort).startsWith("/dev/pts/"));
        QCOMPARE(QFileInfo(com3).symLinkTarget(), rack_->devicePath(kBoardPort));
        QVERIFY(QFile::link("/nonexistent/pts/99", com4));
        QVERIFY(rack_->addSilentPort(4));
        QCOMPARE(QFileInfo(com4).symLinkTarget(), rack_->devicePath(4));

        QTest::ignoreMessage(QtWarningMsg, "hubsim: port 3 is already in the rack");
        QTest::ignoreMessage(QtWarningMsg, "hubsim: port number 0 is outside 1 ... 30");
        QTest::ignoreMessage(QtWarningMsg, "hubsim: port number 31 is outside 1 ... 30");
        QVERIFY(!rack_->addBoard(kBoardPort, 0x0203));
        QVERIFY(!rack_->addBoard(0, 0x0203));
        QVERIFY(!rack_->addSilentPort(31));
        QVERIFY(rack_->addSilentPort(1) && rack_->addBoard(30, 0x0203));
        QCOMPARE(QDir(dir_->path() + "/ports").entryList(QDir::System).size(), 4);

        rack_.reset();
        QCOMPARE(QDir(dir_->path() + "/ports").entryList(QDir::System), QStringList());
    }

    // Device number and probes carry control bytes, which have to pass both ways even to a
    // reader that never set up its line: the simulator must have made the terminal raw itself.
    void queryIsAnsweredWithDeviceNumberAndChecksumOnAnUnconfiguredLine() {
        QVERIFY(rack_->addBoard(12, 0x1A2B));
        Line line(rack_->linkPath(12), false);
        expectAnswer(line, QByteArray::fromHex("a5a6800300000000 00cea7a8"),
                     QByteArray::fromHex("a5a680031a2b0000 0013a7a8"));
        for (int probe = 0x00; probe <= 0x1C; ++probe)
            expectAnswer(line, query(probe), queryReply(probe, 0x1A2B));
        QCOMPARE(rack_->framesReceived(12), 0x1E);
    }

    // The link address is any byte the sender picks, summed as sent.
    void switchFrameIsEchoedWholeAndEachSlotKeepsItsOwnState() {
        QSignalSpy switched(rack_.get(), &HubRack::slotSwitched);
        Line line = open();
        const QByteArray on = QByteArray::fromHex("a5a6810301020005 01d7a7a8");
        expectAnswer(line, on, on);
        expectAnswer(line, on, on);
        expectAnswer(line, switchFrame(5, 0), switchFrame(5, 0));
        QCOMPARE(switched, (QList<QVariantList>{{kBoardPort, 5, true}, {kBoardPort, 5, false}}));

        for (int slot = 1; slot <= HubRack::kSlotCount; slot += 2)
            expectAnswer(line, switchFrame(slot, 1, kBoardDevice, slot * 6),
                         switchFrame(slot, 1, kBoardDevice, slot * 6));
        for (int slot = 1; slot <= HubRack::kSlotCount; ++slot)
            QCOMPARE(rack_->slotOn(kBoardPort, slot), slot % 2 == 1);
    }

    void badFrameIsRejectedWithoutEchoOrSwitch_data() {
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("checksum") << QByteArray::fromHex("a5a6810301020005 01d8a7a8");
        QTest::newRow("another board's device number") << switchFrame(5, 1, 0x0103);
        QTest::newRow("device number differing in the high byte") << switchFrame(5, 1, 0x0202);
        QTest::newRow("slot 0") << switchFrame(0, 1);
        QTest::newRow("slot 43") << switchFrame(43, 1);
        QTest::newRow("slot high byte set") << switchFrame(0x0105, 1);
        QTest::newRow("command neither on nor off") << switchFrame(5, 2);
        QTest::newRow("wrong trailer") << QByteArray::fromHex("a5a6810301020005 01d7a7a9");
        QTest::newRow("unknown kind") << QByteArray::fromHex("a5a6820301020005 01d7a7a8");
        QTest::newRow("query checksum") << QByteArray::fromHex("a5a6800100000000 00cda7a8");
    }

    void badFrameIsRejectedWithoutEchoOrSwitch() {
        QFETCH(QByteArray, frame);
        QSignalSpy rejected(rack_.get(), &HubRack::frameRejected);
        QSignalSpy switched(rack_.get(), &HubRack::slotSwitched);
        Line line = open();
        QVERIFY(line.send(frame));
        QTRY_COMPARE(rack_->framesRejected(kBoardPort), 1);
        QCOMPARE(rejected, QList<QVariantList>{QVariantList({kBoardPort, frame})});
        expectAnswer(line, query(0x42), queryReply(0x42));
        QCOMPARE(rack_->framesReceived(kBoardPort), 2);
        QCOMPARE(switched.size(), 0);
    }

    void framesAreCutFromTheStreamPastNoiseAcrossWritesAndAfterAStall() {
        Line line = open();
        QVERIFY(line.send(bytes({0x00, 0xFF, 0xA5, 0x12, 0xA6}) + query(0x01) + switchFrame(6, 1) +
                          query(0x02)));
        QCOMPARE(line.read(36), queryReply(0x01) + switchFrame(6, 1) + queryReply(0x02));
        QVERIFY(line.send(query(0x03).left(6)));
        QTest::qWait(300);
        const QByteArray frame = switchFrame(4, 1);
        for (const char byte : frame) {
            QVERIFY(line.send(QByteArray(1, byte)));
            QTest::qWait(1);
        }
        QCOMPARE(line.read(12), frame);
        expectAnswer(line, query(0x04), queryReply(0x04));
        QCOMPARE(rack_->framesReceived(kBoardPort), 5);
        QCOMPARE(rack_->framesRejected(kBoardPort), 0);
    }

    void silentPortCountsFramesButNeverAnswersAndTakesNoFault() {
        QVERIFY(rack_->addSilentPort(1));
        QVERIFY(!rack_->setFault(1, HubRack::Fault::None));
        Line line = open(1);
        QVERIFY(line.send(query(0x01) + switchFrame(5, 1)));
        QTRY_COMPARE(rack_->framesReceived(1), 2);
        QTest::qWait(200);
        QCOMPARE(line.pending(), QByteArray());
    }

    void faultShapesRepliesUntilCleared_data() {
        QTest::addColumn<HubRack::Fault>("fault");
        QTest::addColumn<bool>("switched");
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("sentAtOnce");
        const QByteArray first = queryReply(0x01) + switchFrame(5, 1);
        const QByteArray last = queryReply(0x02);
        QTest::newRow("none") << HubRack::Fault::None << true << first + last << 0;
        QTest::newRow("silent") << HubRack::Fault::Silent << false << last << 0;
        QTest::newRow("late reply") << HubRack::Fault::LateReply << true << last + first << 0;
        QTest::newRow("drop echo") << HubRack::Fault::DropEcho << true << queryReply(1) + last << 0;
        QTest::newRow("stray byte")
            << HubRack::Fault::StrayByte << true << '\0' + first + last << 1;
    }

    // The query sent once the fault is cleared is answered at once, so what the fault held back
    // shows up behind that reply.
    void faultShapesRepliesUntilCleared() {
        QFETCH(HubRack::Fault, fault);
        QFETCH(bool, switched);
        QFETCH(QByteArray, received);
        QFETCH(int, sentAtOnce);
        Line line = open();
        QVERIFY(rack_->setFault(kBoardPort, fault, 1000));
        QCOMPARE(line.read(sentAtOnce), received.left(sentAtOnce));
        QVERIFY(line.send(query(0x01) + switchFrame(5, 1)));
        QTRY_COMPARE(rack_->framesReceived(kBoardPort), 2);
        QCOMPARE(rack_->slotOn(kBoardPort, 5), switched);
        QVERIFY(rack_->setFault(kBoardPort, HubRack::Fault::None));
        expectAnswer(line, query(0x02), received.mid(sentAtOnce));
    }

    void unplugHangsUpTheLineAndFreesTheNumberForAFreshBoard() {
        Line line = open();
        expectAnswer(line, switchFrame(5, 1), switchFrame(5, 1));
        QVERIFY(!line.hungUp());
        QVERIFY(rack_->unplug(kBoardPort));
        QTRY_VERIFY(line.hungUp());
        QVERIFY(!QFileInfo(rack_->linkPath(kBoardPort)).isSymLink());
        QVERIFY(!rack_->unplug(kBoardPort));

        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        QVERIFY(!rack_->slotOn(kBoardPort, 5));
        Line again = open();
        expectAnswer(again, query(0x02), queryReply(0x02));
        QCOMPARE(rack_->framesReceived(kBoardPort), 1);
    }
};

QTEST_GUILESS_MAIN(TestHubsim)

#include "test_hubsim.moc"
