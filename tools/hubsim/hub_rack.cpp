#include "hub_rack.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kFrameSize = 12;
constexpr quint8 kHead0 = 0xA5;
constexpr quint8 kHead1 = 0xA6;
constexpr quint8 kTail0 = 0xA7;
constexpr quint8 kTail1 = 0xA8;
constexpr quint8 kQueryKind = 0x80;
constexpr quint8 kSwitchKind = 0x81;
constexpr int kFirstPortNumber = 1;
constexpr int kLastPortNumber = 30;
// A board forgets a frame it has only partly received once the line stays quiet this long.
constexpr int kPartialFrameTimeoutMs = 50;
// How long reading pauses after the terminal reports hangup, which it keeps reporting for as
// long as the condition lasts.
constexpr int kHangupPauseMs = 200;
// A chatty device sends 1 ... 4 bytes every 5 ... 20 ms: a few hundred bytes a second at most.
constexpr int kNoiseMaxBurst = 4;
constexpr int kNoiseMinGapMs = 5;
constexpr int kNoiseMaxGapMs = 20;
// While this many of its bytes wait unread it pauses, so that a port nobody has open never
// piles up stale noise for the next program that opens it.
constexpr int kNoiseMaxUnread = 64;

quint8 byteAt(const QByteArray& frame, int offset) {
    return static_cast<quint8>(frame.at(offset));
}

quint8 sumOfBody(const QByteArray& frame) {
    unsigned sum = 0;
    for (int i = 0; i < 9; ++i) {
        sum += byteAt(frame, i);
    }
    return static_cast<quint8>(sum);
}

bool hasFrameEnds(const QByteArray& frame) {
    return byteAt(frame, 0) == kHead0 && byteAt(frame, 1) == kHead1 &&
           byteAt(frame, 10) == kTail0 && byteAt(frame, 11) == kTail1;
}

bool isValidQuery(const QByteArray& frame) {
    return hasFrameEnds(frame) && byteAt(frame, 2) == kQueryKind &&
           byteAt(frame, 9) == sumOfBody(frame);
}

QByteArray queryReply(quint8 probe, quint16 deviceNumber) {
    QByteArray reply(kFrameSize, '\0');
    reply[0] = static_cast<char>(kHead0);
    reply[1] = static_cast<char>(kHead1);
    reply[2] = static_cast<char>(kQueryKind);
    reply[3] = static_cast<char>(probe);
    reply[4] = static_cast<char>(deviceNumber >> 8);
    reply[5] = static_cast<char>(deviceNumber & 0xFF);
    reply[9] = static_cast<char>(sumOfBody(reply));
    reply[10] = static_cast<char>(kTail0);
    reply[11] = static_cast<char>(kTail1);
    return reply;
}

struct SwitchCommand {
    int slot;
    bool on;
};

std::optional<SwitchCommand> validSwitch(const QByteArray& frame, quint16 deviceNumber) {
    if (!hasFrameEnds(frame) || byteAt(frame, 2) != kSwitchKind) {
        return std::nullopt;
    }
    const unsigned linkAddress = byteAt(frame, 3);
    const unsigned frameDevice = (byteAt(frame, 4) << 8) | byteAt(frame, 5);
    const int slot = (byteAt(frame, 6) << 8) | byteAt(frame, 7);
    const unsigned command = byteAt(frame, 8);
    if (frameDevice != deviceNumber || slot < 1 || slot > HubRack::kSlotCount || command > 1) {
        return std::nullopt;
    }
    // The boards add the device number as one 16-bit value, so its high byte never shows in the
    // low eight bits that are compared.
    const unsigned sum = kHead0 + kHead1 + kSwitchKind + command + linkAddress + frameDevice +
                         static_cast<unsigned>(slot);
    if (byteAt(frame, 9) != (sum & 0xFF)) {
        return std::nullopt;
    }
    return SwitchCommand{slot, command == 1};
}

QString readLink(const QString& path) {
    char target[4096];
    const ssize_t length =
        ::readlink(QFile::encodeName(path).constData(), target, sizeof target - 1);
    return length < 0 ? QString() : QFile::decodeName(QByteArray(target, length));
}

} // namespace

struct HubRack::Port : QObject {
    using QObject::QObject;
    ~Port() override { close(); }

    bool plugged() const { return masterFd >= 0; }

    void close() {
        noiseTimer.stop();
        if (readable) {
            readable->setEnabled(false);
        }
        if (writable) {
            writable->setEnabled(false);
        }
        partialFrameTimer.stop();
        // Another rack may have taken the link over since; only this port's own link goes.
        if (!devicePath.isEmpty() && readLink(linkPath) == devicePath) {
            QFile::remove(linkPath);
        }
        if (masterFd >= 0) {
            ::close(masterFd);
            masterFd = -1;
        }
        if (keptSlaveFd >= 0) {
            ::close(keptSlaveFd);
            keptSlaveFd = -1;
        }
    }

    int number = 0;
    Kind kind = Kind::Silent;
    quint16 deviceNumber = 0;
    std::array<bool, kSlotCount> slotOn{};
    Fault fault = Fault::None;
    int delayMs = 0;
    int masterFd = -1;
    // Held open and never read: with no slave fd open at all, the master reports hangup
    // continuously whenever the program has its side closed.
    int keptSlaveFd = -1;
    QString devicePath;
    QString linkPath;
    QByteArray input;
    QByteArray output;
    int received = 0;
    int rejected = 0;
    QSocketNotifier* readable = nullptr;
    QSocketNotifier* writable = nullptr;
    // Children of the port, so that they stop and go with it.
    QTimer partialFrameTimer{this};
    QTimer noiseTimer{this};
    // Seeded with the port number, so that a port sends the same noise in every run.
    QRandomGenerator noise;
};

HubRack::HubRack(const QString& programDir, QObject* parent)
    : QObject(parent), programDir_(programDir) {}

HubRack::~HubRack() {
    for (const auto& [number, port] : ports_) {
        delete port;
    }
}

bool HubRack::addBoard(int portNumber, quint16 deviceNumber) {
    return addPort(portNumber, Kind::Board, deviceNumber);
}

bool HubRack::addSilentPort(int portNumber) {
    return addPort(portNumber, Kind::Silent, 0);
}

bool HubRack::addChattyPort(int portNumber) {
    return addPort(portNumber, Kind::Chatty, 0);
}

bool HubRack::addLoopbackPort(int portNumber) {
    return addPort(portNumber, Kind::Loopback, 0);
}

bool HubRack::addPort(int portNumber, Kind kind, quint16 deviceNumber) {
    if (portNumber < kFirstPortNumber || portNumber > kLastPortNumber) {
        qWarning("hubsim: port number %d is outside %d ... %d", portNumber, kFirstPortNumber,
                 kLastPortNumber);
        return false;
    }
    if (ports_.count(portNumber) != 0) {
        qWarning("hubsim: port %d is already in the rack", portNumber);
        return false;
    }

    auto* port = new Port(this);
    port->number = portNumber;
    port->kind = kind;
    port->deviceNumber = deviceNumber;
    if (kind == Kind::Board) {
        if (const auto kept = unpluggedSlots_.find(deviceNumber); kept != unpluggedSlots_.end()) {
            port->slotOn = kept->second;
            unpluggedSlots_.erase(kept);
        }
    }
    port->linkPath = linkPath(portNumber);
    const auto fail = [port, portNumber](const char* step) {
        qWarning("hubsim: port %d: %s failed: %s", portNumber, step, std::strerror(errno));
        delete port;
        return false;
    };

    port->masterFd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (port->masterFd < 0) {
        return fail("opening a pseudo-terminal");
    }
    char slaveName[256];
    if (::grantpt(port->masterFd) != 0 || ::unlockpt(port->masterFd) != 0 ||
        ::ptsname_r(port->masterFd, slaveName, sizeof slaveName) != 0) {
        return fail("unlocking the pseudo-terminal");
    }
    if (::fcntl(port->masterFd, F_SETFL, ::fcntl(port->masterFd, F_GETFL) | O_NONBLOCK) != 0) {
        return fail("making the pseudo-terminal non-blocking");
    }
    port->keptSlaveFd = ::open(slaveName, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (port->keptSlaveFd < 0) {
        return fail("opening the terminal's slave side");
    }
    // Until the program configures the line, the terminal's default processing would echo the
    // replies back into the board and swallow control bytes (0x00 ... 0x1C) that frames carry.
    termios settings{};
    if (::tcgetattr(port->keptSlaveFd, &settings) != 0) {
        return fail("reading the line settings");
    }
    ::cfmakeraw(&settings);
    ::cfsetspeed(&settings, B115200);
    if (::tcsetattr(port->keptSlaveFd, TCSANOW, &settings) != 0) {
        return fail("setting the line to raw");
    }

    if (!QDir().mkpath(QFileInfo(port->linkPath).path())) {
        return fail("creating the ports folder");
    }
    const QFileInfo existing(port->linkPath);
    if (existing.isSymLink()) {
        QFile::remove(port->linkPath);
    } else if (existing.exists()) {
        errno = EEXIST;
        return fail("linking the port");
    }
    if (::symlink(slaveName, QFile::encodeName(port->linkPath).constData()) != 0) {
        return fail("linking the port");
    }
    port->devicePath = QFile::decodeName(slaveName);

    port->readable = new QSocketNotifier(port->masterFd, QSocketNotifier::Read, port);
    connect(port->readable, &QSocketNotifier::activated, port, [this, port] { readInput(port); });
    port->writable = new QSocketNotifier(port->masterFd, QSocketNotifier::Write, port);
    port->writable->setEnabled(false);
    connect(port->writable, &QSocketNotifier::activated, port, [this, port] { flushOutput(port); });
    port->partialFrameTimer.setSingleShot(true);
    port->partialFrameTimer.setInterval(kPartialFrameTimeoutMs);
    connect(&port->partialFrameTimer, &QTimer::timeout, port, [port] { port->input.clear(); });
    if (kind == Kind::Chatty) {
        port->noise.seed(static_cast<quint32>(portNumber));
        port->noiseTimer.setSingleShot(true);
        connect(&port->noiseTimer, &QTimer::timeout, port, [this, port] { sendNoise(port); });
        port->noiseTimer.start(kNoiseMinGapMs);
    }

    ports_[portNumber] = port;
    return true;
}

bool HubRack::setFault(int portNumber, Fault fault, int delayMs) {
    const auto found = ports_.find(portNumber);
    if (found == ports_.end() || found->second->kind != Kind::Board) {
        return false;
    }
    if (fault == Fault::StrayByte) {
        write(found->second, QByteArray(1, '\0'));
        return true;
    }
    found->second->fault = fault;
    found->second->delayMs = qMax(0, delayMs);
    return true;
}

bool HubRack::inject(int portNumber, const QByteArray& bytes) {
    const auto found = ports_.find(portNumber);
    if (found == ports_.end())
        return false;
    write(found->second, bytes);
    return true;
}

qint64 HubRack::unreadBytes(int portNumber) const {
    const Port* port = findPort(portNumber);
    int unread = 0;
    if (!port || ::ioctl(port->keptSlaveFd, FIONREAD, &unread) != 0)
        return 0;
    return qint64(unread) + port->output.size();
}

bool HubRack::unplug(int portNumber) {
    const auto found = ports_.find(portNumber);
    if (found == ports_.end()) {
        return false;
    }
    Port* port = found->second;
    ports_.erase(found);
    if (port->kind == Kind::Board)
        unpluggedSlots_[port->deviceNumber] = port->slotOn;
    port->close();
    // The caller may be inside a signal this port emitted.
    port->deleteLater();
    return true;
}

bool HubRack::slotOn(int portNumber, int slot) const {
    const Port* port = findPort(portNumber);
    return port != nullptr && slot >= 1 && slot <= kSlotCount && port->slotOn[slot - 1];
}

int HubRack::framesReceived(int portNumber) const {
    const Port* port = findPort(portNumber);
    return port != nullptr ? port->received : 0;
}

int HubRack::framesRejected(int portNumber) const {
    const Port* port = findPort(portNumber);
    return port != nullptr ? port->rejected : 0;
}

QString HubRack::devicePath(int portNumber) const {
    const Port* port = findPort(portNumber);
    return port != nullptr ? port->devicePath : QString();
}

QString HubRack::linkPath(int portNumber) const {
    return QStringLiteral("%1/ports/COM%2").arg(programDir_).arg(portNumber);
}

const HubRack::Port* HubRack::findPort(int portNumber) const {
    const auto found = ports_.find(portNumber);
    return found != ports_.end() ? found->second : nullptr;
}

void HubRack::readInput(Port* port) {
    char chunk[512];
    for (;;) {
        const ssize_t count = ::read(port->masterFd, chunk, sizeof chunk);
        if (count > 0) {
            if (port->kind == Kind::Loopback) {
                write(port, QByteArray(chunk, count));
            }
            port->input.append(chunk, count);
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count == 0 || errno != EAGAIN) {
            port->readable->setEnabled(false);
            QTimer::singleShot(kHangupPauseMs, port, [port] {
                if (port->plugged()) {
                    port->readable->setEnabled(true);
                }
            });
        }
        break;
    }
    takeFrames(port);
}

void HubRack::takeFrames(Port* port) {
    static const QByteArray header{"\xA5\xA6", 2};
    const QPointer<Port> alive(port);
    for (;;) {
        const qsizetype start = port->input.indexOf(header);
        if (start < 0) {
            // A first header byte at the very end may be completed by the next read.
            const bool headerMayFollow = port->input.endsWith(static_cast<char>(kHead0));
            port->input = headerMayFollow ? QByteArray(1, static_cast<char>(kHead0)) : QByteArray();
            break;
        }
        port->input.remove(0, start);
        if (port->input.size() < kFrameSize) {
            break;
        }
        const QByteArray frame = port->input.left(kFrameSize);
        port->input.remove(0, kFrameSize);
        handleFrame(port, frame);
        if (!alive || !port->plugged()) {
            return;
        }
    }
    if (port->input.isEmpty()) {
        port->partialFrameTimer.stop();
    } else {
        port->partialFrameTimer.start();
    }
}

void HubRack::handleFrame(Port* port, const QByteArray& frame) {
    ++port->received;
    bool rejected = false;
    std::optional<SwitchCommand> change;
    if (port->kind == Kind::Board && port->fault != Fault::Silent) {
        if (isValidQuery(frame)) {
            reply(port, queryReply(byteAt(frame, 3), port->deviceNumber));
        } else if (const auto command = validSwitch(frame, port->deviceNumber)) {
            bool& state = port->slotOn[command->slot - 1];
            if (state != command->on) {
                state = command->on;
                change = command;
            }
            if (port->fault != Fault::DropEcho) {
                reply(port, frame);
            }
        } else {
            rejected = true;
            ++port->rejected;
        }
    }

    const QPointer<Port> alive(port);
    const int number = port->number;
    emit frameReceived(number, frame);
    if (!alive) {
        return;
    }
    if (rejected) {
        emit frameRejected(number, frame);
    } else if (change) {
        emit slotSwitched(number, change->slot, change->on);
    }
}

void HubRack::reply(Port* port, QByteArray bytes) {
    if (port->fault == Fault::StrayBeforeReply) {
        bytes.prepend('\0');
    }
    if (port->fault == Fault::LateReply) {
        QTimer::singleShot(port->delayMs, port, [this, port, bytes] { write(port, bytes); });
        return;
    }
    write(port, bytes);
}

void HubRack::write(Port* port, const QByteArray& bytes) {
    if (!port->plugged()) {
        return;
    }
    port->output.append(bytes);
    flushOutput(port);
}

void HubRack::flushOutput(Port* port) {
    while (!port->output.isEmpty()) {
        const ssize_t count =
            ::write(port->masterFd, port->output.constData(), port->output.size());
        if (count > 0) {
            port->output.remove(0, count);
            continue;
        }
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0 && errno != EAGAIN) {
            qWarning("hubsim: port %d: writing failed: %s", port->number, std::strerror(errno));
            port->output.clear();
        }
        break;
    }
    port->writable->setEnabled(!port->output.isEmpty());
}

void HubRack::sendNoise(Port* port) {
    int unread = 0;
    if (::ioctl(port->keptSlaveFd, FIONREAD, &unread) != 0 || unread >= kNoiseMaxUnread) {
        port->noiseTimer.start(kNoiseMaxGapMs);
        return;
    }
    QByteArray burst(static_cast<int>(port->noise.bounded(1, kNoiseMaxBurst + 1)), '\0');
    for (char& byte : burst) {
        // Drawn from the 255 values other than a frame's first header byte.
        const auto value = static_cast<quint8>(port->noise.bounded(0, 255));
        byte = static_cast<char>(value < kHead0 ? value : value + 1);
    }
    write(port, burst);
    port->noiseTimer.start(
        static_cast<int>(port->noise.bounded(kNoiseMinGapMs, kNoiseMaxGapMs + 1)));
}
