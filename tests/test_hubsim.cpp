#include "hubsim/hub_rack.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <initializer_list>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kBoardPort = 3;
constexpr quint16 kBoardDevice = 0x0102;
constexpr int kReadTimeoutMs = 5000;

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray result;
    for (const int value : values) {
        result.append(static_cast<char>(value));
    }
    return result;
}

QByteArray query(int probe) {
    return bytes(
        {0xA5, 0xA6, 0x80, probe, 0, 0, 0, 0, 0, (0xA5 + 0xA6 + 0x80 + probe) & 0xFF, 0xA7, 0xA8});
}

QByteArray queryReply(int probe, quint16 device) {
    const int sum = 0xA5 + 0xA6 + 0x80 + probe + (device >> 8) + (device & 0xFF);
    return bytes(
        {0xA5, 0xA6, 0x80, probe, device >> 8, device & 0xFF, 0, 0, 0, sum & 0xFF, 0xA7, 0xA8});
}

// The checksum takes the device number and the slot as whole 16-bit values.
QByteArray switchFrame(int slot, bool on, quint16 device = kBoardDevice, int link = 0x03) {
    const int command = on ? 1 : 0;
    const int sum = 0xA5 + 0xA6 + 0x81 + command + link + device + slot;
    return bytes({0xA5, 0xA6, 0x81, link, device >> 8, device & 0xFF, slot >> 8, slot & 0xFF,
                  command, sum & 0xFF, 0xA7, 0xA8});
}

// The test's end of a simulated port, opened the way a plain serial program would.
class Line {
public:
    enum class Setup { Raw, AsFound };

    explicit Line(const QString& path, Setup setup = Setup::Raw)
        : fd_(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        if (fd_ >= 0 && setup == Setup::Raw) {
            termios settings{};
            ::tcgetattr(fd_, &settings);
            ::cfmakeraw(&settings);
            ::tcsetattr(fd_, TCSANOW, &settings);
        }
    }
    ~Line() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    bool isOpen() const { return fd_ >= 0; }

    bool send(const QByteArray& data) {
        return ::write(fd_, data.constData(), data.size()) == data.size();
    }

    // Waits for count bytes and takes them; fewer if they do not come, which the caller's
    // comparison then shows.
    QByteArray read(int count) {
        static_cast<void>(QTest::qWaitFor([&] { return drain() >= count; }, kReadTimeoutMs));
        const QByteArray taken = buffer_.left(count);
        buffer_.remove(0, taken.size());
        return taken;
    }

    // Everything that has arrived and was not taken yet.
    QByteArray pending() {
        drain();
        return buffer_;
    }

    bool hungUp() const {
        pollfd watched{fd_, POLLIN, 0};
        return ::poll(&watched, 1, 0) == 1 && (watched.revents & (POLLHUP | POLLERR)) != 0;
    }

private:
    qsizetype drain() {
        char chunk[256];
        ssize_t count = 0;
        while ((count = ::read(fd_, chunk, sizeof chunk)) > 0) {
            buffer_.append(chunk, count);
        }
        return buffer_.size();
    }

    int fd_;
    QByteArray buffer_;
};

} // namespace

class TestHubsim : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<HubRack> rack_;

    QString link(int port) const { return rack_->linkPath(port); }

    // A query answered after whatever was sent before it shows that nothing else came first.
    void expectOnlyReplyTo(Line& line, int probe) {
        QVERIFY(line.send(query(probe)));
        QCOMPARE(line.read(12), queryReply(probe, kBoardDevice));
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        rack_ = std::make_unique<HubRack>(dir_->path());
    }

    void cleanup() {
        rack_.reset();
        dir_.reset();
    }

    // Ports and their links

    void boardIsLinkedAsComNToItsTerminal() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        const QFileInfo linked(dir_->path() + "/ports/COM3");
        QVERIFY(linked.isSymLink());
        QVERIFY(rack_->devicePath(kBoardPort).startsWith("/dev/pts/"));
        QCOMPARE(linked.symLinkTarget(), rack_->devicePath(kBoardPort));
        QCOMPARE(rack_->linkPath(kBoardPort), linked.filePath());
    }

    void staleLinkIsReplaced() {
        QVERIFY(QDir(dir_->path()).mkpath("ports"));
        QVERIFY(QFile::link("/nonexistent/pts/99", link(4)));
        QVERIFY(rack_->addSilentPort(4));
        QCOMPARE(QFileInfo(link(4)).symLinkTarget(), rack_->devicePath(4));
    }

    void portNumberIsUsedOnceAndWithinOneToThirty() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        QTest::ignoreMessage(QtWarningMsg, "hubsim: port 3 is already in the rack");
        QTest::ignoreMessage(QtWarningMsg, "hubsim: port 3 is already in the rack");
        QTest::ignoreMessage(QtWarningMsg, "hubsim: port number 0 is outside 1 ... 30");
        QTest::ignoreMessage(QtWarningMsg, "hubsim: port number 31 is outside 1 ... 30");
        QVERIFY(!rack_->addBoard(kBoardPort, 0x0203));
        QVERIFY(!rack_->addSilentPort(kBoardPort));
        QVERIFY(!rack_->addBoard(0, 0x0203));
        QVERIFY(!rack_->addSilentPort(31));
        QVERIFY(rack_->addSilentPort(1));
        QVERIFY(rack_->addBoard(30, 0x0203));
        QCOMPARE(QDir(dir_->path() + "/ports").entryList(QDir::System).size(), 3);
    }

    void destroyingTheRackRemovesItsLinks() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        QVERIFY(rack_->addSilentPort(1));
        rack_.reset();
        QVERIFY(!QFileInfo(dir_->path() + "/ports/COM3").isSymLink());
        QVERIFY(!QFileInfo(dir_->path() + "/ports/COM1").isSymLink());
    }

    // Queries

    void queryIsAnsweredWithDeviceNumberAndChecksum() {
        QVERIFY(rack_->addBoard(12, 0x1A2B));
        Line line(link(12));
        QVERIFY(line.isOpen());
        QVERIFY(line.send(QByteArray::fromHex("a5a6800300000000 00cea7a8")));
        QCOMPARE(line.read(12), QByteArray::fromHex("a5a680031a2b0000 0013a7a8"));
        QCOMPARE(rack_->framesReceived(12), 1);
        QCOMPARE(rack_->framesRejected(12), 0);
    }

    // Every control byte a frame can carry must pass both ways, even to a reader that never
    // set up its line: the simulator has to have made the terminal raw before anyone opens it.
    void controlBytesPassBothWaysOnAnUnconfiguredLine() {
        const quint16 device = 0x110D;
        QVERIFY(rack_->addBoard(kBoardPort, device));
        Line line(link(kBoardPort), Line::Setup::AsFound);
        QVERIFY(line.isOpen());
        for (int probe = 0x00; probe <= 0x1C; ++probe) {
            QVERIFY(line.send(query(probe)));
            QCOMPARE(line.read(12), queryReply(probe, device));
        }
        QCOMPARE(rack_->framesRejected(kBoardPort), 0);
    }

    void serialPortOpenedOnTheLinkTalksToTheBoard() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        QSerialPort port;
        port.setPortName(link(kBoardPort));
        port.setBaudRate(QSerialPort::Baud115200);
        port.setDataBits(QSerialPort::Data8);
        port.setParity(QSerialPort::NoParity);
        port.setStopBits(QSerialPort::OneStop);
        port.setFlowControl(QSerialPort::NoFlowControl);
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        port.write(query(0x05));
        QTRY_VERIFY_WITH_TIMEOUT(port.bytesAvailable() >= 12, kReadTimeoutMs);
        QCOMPARE(port.readAll(), queryReply(0x05, kBoardDevice));
    }

    void boardAnswersAgainAfterTheReaderReopens() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        {
            Line first(link(kBoardPort));
            QVERIFY(first.send(switchFrame(7, true)));
            QCOMPARE(first.read(12), switchFrame(7, true));
        }
        Line second(link(kBoardPort));
        expectOnlyReplyTo(second, 0x01);
        QVERIFY(rack_->slotOn(kBoardPort, 7));
    }

    // Switching slots

    void validSwitchFrameIsEchoedWholeAndSwitchesTheSlot() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        QSignalSpy switched(rack_.get(), &HubRack::slotSwitched);
        Line line(link(kBoardPort));
        const QByteArray on = QByteArray::fromHex("a5a6810301020005 01d7a7a8");
        QVERIFY(line.send(on));
        QCOMPARE(line.read(12), on);
        QVERIFY(rack_->slotOn(kBoardPort, 5));
        QCOMPARE(switched.size(), 1);
        QCOMPARE(switched.at(0), QVariantList({kBoardPort, 5, true}));

        QVERIFY(line.send(switchFrame(5, false)));
        QCOMPARE(line.read(12), switchFrame(5, false));
        QVERIFY(!rack_->slotOn(kBoardPort, 5));
        QCOMPARE(switched.size(), 2);
        QCOMPARE(switched.at(1), QVariantList({kBoardPort, 5, false}));
        QCOMPARE(rack_->framesRejected(kBoardPort), 0);
    }

    void switchingToTheCurrentStateIsEchoedButNotReportedAsChange() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        QSignalSpy switched(rack_.get(), &HubRack::slotSwitched);
        Line line(link(kBoardPort));
        QVERIFY(line.send(switchFrame(9, true)));
        QCOMPARE(line.read(12), switchFrame(9, true));
        QVERIFY(line.send(switchFrame(9, true)));
        QCOMPARE(line.read(12), switchFrame(9, true));
        QCOMPARE(switched.size(), 1);
        QVERIFY(rack_->slotOn(kBoardPort, 9));
    }

    void linkAddressIsTakenAsSent_data() {
        QTest::addColumn<int>("address");
        QTest::newRow("0x00") << 0x00;
        QTest::newRow("0x07") << 0x07;
        QTest::newRow("0xFF") << 0xFF;
    }

    void linkAddressIsTakenAsSent() {
        QFETCH(int, address);
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        Line line(link(kBoardPort));
        const QByteArray frame = switchFrame(2, true, kBoardDevice, address);
        QVERIFY(line.send(frame));
        QCOMPARE(line.read(12), frame);
        QVERIFY(rack_->slotOn(kBoardPort, 2));
    }

    void everySlotKeepsItsOwnState() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        Line line(link(kBoardPort));
        for (int slot = 1; slot <= HubRack::kSlotCount; slot += 2) {
            QVERIFY(line.send(switchFrame(slot, true)));
            QCOMPARE(line.read(12), switchFrame(slot, true));
        }
        for (int slot = 1; slot <= HubRack::kSlotCount; ++slot) {
            QCOMPARE(rack_->slotOn(kBoardPort, slot), slot % 2 == 1);
        }
    }

    void boardsOnDifferentPortsAreIndependent() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        QVERIFY(rack_->addBoard(7, 0x0203));
        Line first(link(kBoardPort));
        Line second(link(7));
        QVERIFY(first.send(switchFrame(5, true)));
        QCOMPARE(first.read(12), switchFrame(5, true));
        QVERIFY(second.send(query(0x01)));
        QCOMPARE(second.read(12), queryReply(0x01, 0x0203));
        QVERIFY(rack_->slotOn(kBoardPort, 5));
        QVERIFY(!rack_->slotOn(7, 5));
        QCOMPARE(rack_->framesReceived(kBoardPort), 1);
        QCOMPARE(rack_->framesReceived(7), 1);
    }

    // Frames a board refuses

    void badFrameIsRejectedWithoutEchoOrSwitch_data() {
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("checksum over all nine bytes")
            << QByteArray::fromHex("a5a6810301020005 01d8a7a8");
        QTest::newRow("another board's device number") << switchFrame(5, true, 0x0103);
        QTest::newRow("device number differing in the high byte only")
            << switchFrame(5, true, 0x0202);
        QTest::newRow("slot 0") << switchFrame(0, true);
        QTest::newRow("slot 43") << switchFrame(43, true);
        QTest::newRow("slot high byte set") << switchFrame(0x0105, true);
        QTest::newRow("command neither on nor off") << [] {
            QByteArray frame = switchFrame(5, true);
            frame[8] = 0x02;
            frame[9] = static_cast<char>(frame.at(9) + 1);
            return frame;
        }();
        QTest::newRow("wrong trailer") << [] {
            QByteArray frame = switchFrame(5, true);
            frame[11] = static_cast<char>(0xA9);
            return frame;
        }();
        QTest::newRow("query with wrong checksum") << [] {
            QByteArray frame = query(0x01);
            frame[9] = static_cast<char>(frame.at(9) + 1);
            return frame;
        }();
        QTest::newRow("unknown kind") << [] {
            QByteArray frame = switchFrame(5, true);
            frame[2] = static_cast<char>(0x82);
            return frame;
        }();
    }

    void badFrameIsRejectedWithoutEchoOrSwitch() {
        QFETCH(QByteArray, frame);
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        QSignalSpy rejected(rack_.get(), &HubRack::frameRejected);
        QSignalSpy switched(rack_.get(), &HubRack::slotSwitched);
        Line line(link(kBoardPort));
        QVERIFY(line.send(frame));
        QTRY_COMPARE(rack_->framesRejected(kBoardPort), 1);
        QCOMPARE(rejected.size(), 1);
        QCOMPARE(rejected.at(0), QVariantList({kBoardPort, frame}));
        expectOnlyReplyTo(line, 0x42);
        QCOMPARE(rack_->framesReceived(kBoardPort), 2);
        QCOMPARE(rack_->framesRejected(kBoardPort), 1);
        QCOMPARE(switched.size(), 0);
        QVERIFY(!rack_->slotOn(kBoardPort, 5));
    }

    // Assembling frames from the byte stream

    void frameSplitAcrossWritesIsAssembled() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        Line line(link(kBoardPort));
        const QByteArray frame = switchFrame(4, true);
        for (const char byte : frame) {
            QVERIFY(line.send(QByteArray(1, byte)));
            QTest::qWait(1);
        }
        QCOMPARE(line.read(12), frame);
        QVERIFY(rack_->slotOn(kBoardPort, 4));
    }

    void framesSentTogetherAreAllAnsweredInOrder() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        Line line(link(kBoardPort));
        QVERIFY(line.send(query(0x01) + switchFrame(6, true) + query(0x02)));
        QCOMPARE(line.read(36), queryReply(0x01, kBoardDevice) + switchFrame(6, true) +
                                    queryReply(0x02, kBoardDevice));
        QCOMPARE(rack_->framesReceived(kBoardPort), 3);
    }

    void bytesBeforeTheHeaderAreSkipped() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        Line line(link(kBoardPort));
        QVERIFY(line.send(bytes({0x00, 0xFF, 0xA5, 0x12, 0xA6}) + query(0x01)));
        QCOMPARE(line.read(12), queryReply(0x01, kBoardDevice));
        QCOMPARE(rack_->framesReceived(kBoardPort), 1);
        QCOMPARE(rack_->framesRejected(kBoardPort), 0);
    }

    void incompleteFrameIsForgottenWhenTheLineGoesQuiet() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        Line line(link(kBoardPort));
        QVERIFY(line.send(query(0x01).left(6)));
        QTest::qWait(300);
        expectOnlyReplyTo(line, 0x02);
        expectOnlyReplyTo(line, 0x03);
        QCOMPARE(rack_->framesReceived(kBoardPort), 2);
        QCOMPARE(rack_->framesRejected(kBoardPort), 0);
    }

    // A port that is not a board

    void silentPortNeverAnswers() {
        QVERIFY(rack_->addSilentPort(1));
        Line line(link(1));
        QVERIFY(line.isOpen());
        QVERIFY(line.send(query(0x01) + switchFrame(5, true)));
        QTRY_COMPARE(rack_->framesReceived(1), 2);
        QTest::qWait(200);
        QCOMPARE(line.pending(), QByteArray());
        QCOMPARE(rack_->framesRejected(1), 0);
        QVERIFY(!rack_->setFault(1, HubRack::Fault::None));
    }

    // Faults

    void silentBoardNeitherAnswersNorSwitchesUntilCleared() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        Line line(link(kBoardPort));
        QVERIFY(rack_->setFault(kBoardPort, HubRack::Fault::Silent));
        QVERIFY(line.send(query(0x01) + switchFrame(5, true)));
        QTRY_COMPARE(rack_->framesReceived(kBoardPort), 2);
        QVERIFY(!rack_->slotOn(kBoardPort, 5));
        QVERIFY(rack_->setFault(kBoardPort, HubRack::Fault::None));
        expectOnlyReplyTo(line, 0x02);
        QVERIFY(line.send(switchFrame(5, true)));
        QCOMPARE(line.read(12), switchFrame(5, true));
        QVERIFY(rack_->slotOn(kBoardPort, 5));
    }

    void lateReplyIsOvertakenByAPromptOne() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        Line line(link(kBoardPort));
        QVERIFY(rack_->setFault(kBoardPort, HubRack::Fault::LateReply, 1000));
        QVERIFY(line.send(query(0x01)));
        QTRY_COMPARE(rack_->framesReceived(kBoardPort), 1);
        QVERIFY(rack_->setFault(kBoardPort, HubRack::Fault::None));
        QVERIFY(line.send(query(0x02)));
        QCOMPARE(line.read(24), queryReply(0x02, kBoardDevice) + queryReply(0x01, kBoardDevice));
    }

    void lateEchoStillComesWhileTheSlotSwitchedOnArrival() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        Line line(link(kBoardPort));
        QVERIFY(rack_->setFault(kBoardPort, HubRack::Fault::LateReply, 1000));
        QVERIFY(line.send(switchFrame(5, true)));
        QTRY_VERIFY(rack_->slotOn(kBoardPort, 5));
        QVERIFY(rack_->setFault(kBoardPort, HubRack::Fault::None));
        QVERIFY(line.send(query(0x02)));
        QCOMPARE(line.read(24), queryReply(0x02, kBoardDevice) + switchFrame(5, true));
    }

    void droppedEchoStillSwitchesAndQueriesAreAnswered() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        Line line(link(kBoardPort));
        QVERIFY(rack_->setFault(kBoardPort, HubRack::Fault::DropEcho));
        QVERIFY(line.send(switchFrame(5, true)));
        QTRY_VERIFY(rack_->slotOn(kBoardPort, 5));
        expectOnlyReplyTo(line, 0x01);
        QVERIFY(line.send(switchFrame(5, false)));
        QTRY_VERIFY(!rack_->slotOn(kBoardPort, 5));
        expectOnlyReplyTo(line, 0x02);
        QCOMPARE(rack_->framesRejected(kBoardPort), 0);
    }

    void strayByteGoesOutAloneAndRepliesStayWhole() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        Line line(link(kBoardPort));
        QVERIFY(rack_->setFault(kBoardPort, HubRack::Fault::StrayByte));
        QCOMPARE(line.read(1), bytes({0x00}));
        QVERIFY(line.send(switchFrame(5, true)));
        QCOMPARE(line.read(12), switchFrame(5, true));
        expectOnlyReplyTo(line, 0x01);
    }

    // Pulling the cable

    void unplugHangsUpTheOpenLineAndRemovesTheLink() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        Line line(link(kBoardPort));
        QVERIFY(line.isOpen());
        QVERIFY(!line.hungUp());
        QVERIFY(rack_->unplug(kBoardPort));
        QTRY_VERIFY(line.hungUp());
        QVERIFY(!QFileInfo(link(kBoardPort)).isSymLink());
        QCOMPARE(rack_->devicePath(kBoardPort), QString());
        QVERIFY(!Line(link(kBoardPort)).isOpen());
        QVERIFY(!rack_->unplug(kBoardPort));
    }

    void serialPortReportsAnErrorWhenUnplugged() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        QSerialPort port;
        port.setPortName(link(kBoardPort));
        port.setBaudRate(QSerialPort::Baud115200);
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        QSignalSpy errors(&port, &QSerialPort::errorOccurred);
        QVERIFY(rack_->unplug(kBoardPort));
        QTRY_VERIFY(!errors.isEmpty());
        QVERIFY(errors.at(0).at(0).value<QSerialPort::SerialPortError>() != QSerialPort::NoError);
    }

    void unpluggedPortCanBePluggedInAgainAsAFreshBoard() {
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        {
            Line line(link(kBoardPort));
            QVERIFY(line.send(switchFrame(5, true)));
            QCOMPARE(line.read(12), switchFrame(5, true));
        }
        QVERIFY(rack_->unplug(kBoardPort));
        QVERIFY(rack_->addBoard(kBoardPort, kBoardDevice));
        QVERIFY(!rack_->slotOn(kBoardPort, 5));
        Line line(link(kBoardPort));
        expectOnlyReplyTo(line, 0x01);
        QCOMPARE(rack_->framesReceived(kBoardPort), 1);
    }
};

QTEST_GUILESS_MAIN(TestHubsim)

#include "test_hubsim.moc"
