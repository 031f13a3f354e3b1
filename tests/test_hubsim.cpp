#include "fakes/bytes.h"
#include "hubsim/hub_rack.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <time.h>
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
    // Bytes that one write put on the line come out of a single read together.
    QByteArray readOnce() {
        pollfd watched{fd_, POLLIN, 0};
        static_cast<void>(QTest::qWaitFor([&] { return ::poll(&watched, 1, 0) == 1; }, 5000));
        char chunk[256];
        const ssize_t count = ::read(fd_, chunk, sizeof chunk);
        return count > 0 ? QByteArray(chunk, count) : QByteArray();
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

double monotonicSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

} // namespace

// Every test starts with a board of kBoardDevice on kBoardPort.
class TestHubsim : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<HubRack> rack_;

    Line open(int port = kBoardPort) { return Line(rack_->linkPath(port)); }
    int activeTimers() const {
        const QList<QTimer*> timers = rack_->findChildren<QTimer*>();
        return int(std::count_if(timers.begin(), timers.end(),
                                 [](const QTimer* timer) { return timer->isActive(); }));
    }
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
        QVERIFY(rack_->addChattyPort(2) && rack_->addLoopbackPort(29));
        QCOMPARE(QDir(dir_->path() + "/ports").entryList(QDir::System).size(), 6);

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
        QTest::newRow("stray before reply")
            << HubRack::Fault::StrayBeforeReply << true
            << '\0' + queryReply(0x01) + '\0' + switchFrame(5, 1) + last << 0;
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

    void unplugHangsUpTheLineAndTheBoardReturnsWithItsSlots() {
        Line line = open();
        expectAnswer(line, switchFrame(5, 1), switchFrame(5, 1));
        QVERIFY(!line.hungUp());
        QVERIFY(rack_->unplug(kBoardPort));
        QTRY_VERIFY(line.hungUp());
        QVERIFY(!QFileInfo(rack_->linkPath(kBoardPort)).isSymLink());
        QVERIFY(!rack_->unplug(kBoardPort));

        // The same board again: pulling its serial cable did not cut the slot's power.
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        QVERIFY(rack_->slotOn(kBoardPort, 5));
        Line again = open();
        expectAnswer(again, query(0x02), queryReply(0x02));
        QCOMPARE(rack_->framesReceived(kBoardPort), 1);
    }

    // The program may already hold other ports open and be in the middle of a probe.
    void boardPluggedWhileTheRackRunsIsLinkedAndAnswers() {
        Line line = open();
        expectAnswer(line, query(0x01), queryReply(0x01));
        const QString com7 = rack_->linkPath(7);
        QVERIFY(!QFileInfo(com7).isSymLink());
        bool added = false;
        QTimer::singleShot(50, rack_.get(), [&] { added = rack_->addBoard(7, 0x0A0B); });
        QTRY_VERIFY(added);
        QCOMPARE(QFileInfo(com7).symLinkTarget(), rack_->devicePath(7));

        Line late = open(7);
        expectAnswer(late, query(0x07), queryReply(0x07, 0x0A0B));
        expectAnswer(late, switchFrame(9, 1, 0x0A0B, 7), switchFrame(9, 1, 0x0A0B, 7));
        QVERIFY(rack_->slotOn(7, 9));
        expectAnswer(line, query(0x02), queryReply(0x02));
        QVERIFY(!rack_->slotOn(kBoardPort, 9));
    }

    void strayByteComesInOneReadWithEveryReply_data() {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("query answer") << query(0x05) << queryReply(0x05);
        QTest::newRow("switch echo") << switchFrame(7, 1) << switchFrame(7, 1);
    }

    void strayByteComesInOneReadWithEveryReply() {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, reply);
        Line line = open();
        QVERIFY(rack_->setFault(kBoardPort, HubRack::Fault::StrayBeforeReply));
        for (int round = 0; round < 3; ++round) {
            QVERIFY(line.send(sent));
            QCOMPARE(line.readOnce(), '\0' + reply);
        }
        QVERIFY(rack_->setFault(kBoardPort, HubRack::Fault::None));
        expectAnswer(line, sent, reply);
        QCOMPARE(rack_->framesRejected(kBoardPort), 0);
    }

    // Frames sent to it are assembled and counted like on any port, but never answered.
    void chattyPortSendsVariedNoiseThatNeverStartsAFrame() {
        QVERIFY(rack_->addChattyPort(5));
        QVERIFY(!rack_->setFault(5, HubRack::Fault::None));
        Line line = open(5);
        QVERIFY(line.send(query(0x05) + switchFrame(5, 1)));
        const QByteArray noise = line.read(400);
        QCOMPARE(noise.size(), 400);
        QCOMPARE(rack_->framesReceived(5), 2);
        QCOMPARE(noise.indexOf('\xA5'), -1);
        const QSet<char> values(noise.begin(), noise.end());
        QVERIFY2(values.size() > 100, qPrintable(QString::number(values.size())));
        QVERIFY(!rack_->slotOn(5, 5));
    }

    void chattyNoiseFollowsFromThePortNumberAlone() {
        QVERIFY(rack_->addChattyPort(5));
        QTemporaryDir otherDir;
        HubRack other(otherDir.path());
        QVERIFY(other.addChattyPort(6));
        QVERIFY(other.addChattyPort(5));
        Line line = open(5);
        Line sameNumber(other.linkPath(5));
        Line otherNumber(other.linkPath(6));
        const QByteArray noise = line.read(100);
        QCOMPARE(noise.size(), 100);
        QCOMPARE(sameNumber.read(100), noise);
        QVERIFY(otherNumber.read(100) != noise);
    }

    void loopbackPortReturnsExactlyWhatArrives_data() {
        QTest::addColumn<QByteArray>("sent");
        QByteArray everyValue;
        for (int value = 0; value <= 0xFF; ++value)
            everyValue.append(char(value));
        QTest::newRow("query frame") << query(0x08);
        QTest::newRow("switch frame") << switchFrame(5, 1);
        QTest::newRow("half a frame") << query(0x08).left(6);
        QTest::newRow("every byte value") << everyValue;
        QTest::newRow("several reads' worth") << everyValue.repeated(8);
    }

    void loopbackPortReturnsExactlyWhatArrives() {
        QFETCH(QByteArray, sent);
        QVERIFY(rack_->addLoopbackPort(8));
        QVERIFY(!rack_->setFault(8, HubRack::Fault::StrayBeforeReply));
        Line line = open(8);
        QVERIFY(line.send(sent));
        QCOMPARE(line.read(sent.size()), sent);
        QTest::qWait(100);
        QCOMPARE(line.pending(), QByteArray());
        QCOMPARE(rack_->framesRejected(8), 0);
    }

    // A benchmark takes the time between two switches of a slot from these stamps.
    void timesStampEachLineWithTheMonotonicClockWhenTheFrameArrives() {
        QTemporaryDir dir;
        QProcess hubsim;
        hubsim.start(HUBSIM, {"--dir", dir.path(), "--board", "5:0A0B", "--times"});
        QTRY_VERIFY(QFileInfo(dir.path() + "/ports/COM5").isSymLink());
        Line line(dir.path() + "/ports/COM5");
        const double sent = monotonicSeconds();
        expectAnswer(line, switchFrame(9, 1, 0x0A0B, 5), switchFrame(9, 1, 0x0A0B, 5));
        const double echoed = monotonicSeconds();
        QByteArray printed;
        QTRY_VERIFY((printed += hubsim.readAllStandardOutput()).contains("slot 9 on\n"));
        hubsim.terminate();
        QVERIFY(hubsim.waitForFinished(3000));

        const QList<QByteArray> lines = printed.trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].contains(" board 0A0B on port 5: "), lines[0].constData());
        const qsizetype blank = lines[1].indexOf(' ');
        QCOMPARE(lines[1].mid(blank + 1), "board 0A0B on port 5: slot 9 on");
        bool isNumber = false;
        const double stamp = lines[1].left(blank).toDouble(&isNumber);
        QVERIFY(isNumber);
        QVERIFY2(stamp >= sent - 1e-6 && stamp <= echoed + 1e-6,
                 qPrintable(QStringLiteral("%1 not within %2 ... %3")
                                .arg(stamp, 0, 'f', 6)
                                .arg(sent, 0, 'f', 6)
                                .arg(echoed, 0, 'f', 6)));
    }

    // Noise from the old port would show up in front of the new board's reply.
    void unpluggedChattyPortFallsQuietAndLeavesTheNumberClean() {
        QVERIFY(rack_->addChattyPort(5));
        QCOMPARE(activeTimers(), 1);
        Line line = open(5);
        QCOMPARE(line.read(20).size(), 20);
        QVERIFY(rack_->unplug(5));
        QCOMPARE(activeTimers(), 0);
        QTRY_VERIFY(line.hungUp());

        QVERIFY(rack_->addBoard(5, 0x0505));
        Line again = open(5);
        QTest::qWait(100);
        expectAnswer(again, query(0x05), queryReply(0x05, 0x0505));
        QCOMPARE(activeTimers(), 0);
        QTest::qWait(100);
        QCOMPARE(again.pending(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestHubsim)

#include "test_hubsim.moc"
