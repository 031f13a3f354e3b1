#include "platform/qt_serial_port.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {
SerialPort::OpenError openError(int error) {
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return SerialPort::OpenError::NotFound;
    // EBUSY: another program holds the device in exclusive mode; EWOULDBLOCK: it holds the
    // device's lock (a second Hubrix, or another link of this one).
    case EBUSY:
    case EWOULDBLOCK:
        return SerialPort::OpenError::Busy;
    case EACCES:
    case EPERM:
        return SerialPort::OpenError::PermissionDenied;
    default:
        return SerialPort::OpenError::Other;
    }
}

// 115200 bit/s, 8 data bits, 1 stop bit, no parity, no flow control, bytes as they come.
bool configure(int fd) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return false;
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~tcflag_t(CSIZE | CSTOPB | PARENB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    ::cfsetispeed(&settings, B115200);
    ::cfsetospeed(&settings, B115200);
    return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}
} // namespace

QtSerialPort::QtSerialPort(const PortLocator& locator, QObject* parent)
    : SerialPort(parent), locator_(locator) {}

QtSerialPort::~QtSerialPort() {
    close();
}

bool QtSerialPort::open() {
    close();
    const QString path = locator_.devicePath(portNumber_);
    if (path.isEmpty()) {
        lastOpenError_ = OpenError::NotFound;
        return false;
    }
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastOpenError_ = openError(errno);
        return false;
    }
    // Exclusive access without a lock file, whose creation and sync cost milliseconds per
    // probe: the lock refuses every other opener that asks for it, root included, and the
    // exclusive mode refuses any other program that does not run as root.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        lastOpenError_ = openError(errno);
        ::close(fd);
        return false;
    }
    if (::ioctl(fd, TIOCEXCL) != 0 || !configure(fd)) {
        lastOpenError_ = OpenError::Other;
        ::close(fd);
        return false;
    }
    // Whatever the device queued while nobody had it open is no answer to what comes next.
    ::tcflush(fd, TCIFLUSH);
    fd_ = fd;
    reader_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(reader_, &QSocketNotifier::activated, this, &QtSerialPort::readAvailable);
    writer_ = new QSocketNotifier(fd_, QSocketNotifier::Write, this);
    writer_->setEnabled(false);
    connect(writer_, &QSocketNotifier::activated, this, &QtSerialPort::writePending);
    lastOpenError_ = OpenError::None;
    openPortNumber_ = portNumber_;
    return true;
}

int QtSerialPort::openPortNumber() const {
    return fd_ >= 0 ? openPortNumber_ : 0;
}

void QtSerialPort::close() {
    if (fd_ < 0)
        return;
    // A handler that closes the port may run inside the notifier's own signal.
    for (QSocketNotifier* notifier : {reader_, writer_}) {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    reader_ = writer_ = nullptr;
    unsent_.clear();
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
}

bool QtSerialPort::isOpen() const {
    return fd_ >= 0;
}

void QtSerialPort::send(const QByteArray& bytes) {
    if (fd_ < 0)
        return;
    unsent_ += bytes;
    writePending();
}

void QtSerialPort::writePending() {
    while (fd_ >= 0 && !unsent_.isEmpty()) {
        const ssize_t written = ::write(fd_, unsent_.constData(), size_t(unsent_.size()));
        if (written > 0) {
            unsent_.remove(0, qsizetype(written));
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else {
            loseDevice();
            return;
        }
    }
    if (fd_ >= 0)
        writer_->setEnabled(!unsent_.isEmpty());
}

void QtSerialPort::readAvailable() {
    char buffer[4096];
    // With the line set to return at once (no minimum count, no time-out), a read finds 0
    // bytes both when it has taken everything and when the device has hung up; only the
    // second reports itself readable with nothing to read.
    bool first = true;
    while (fd_ >= 0) {
        const ssize_t count = ::read(fd_, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (count < 0 || (count == 0 && first)) {
            loseDevice();
            return;
        }
        if (count == 0)
            return;
        first = false;
        for (ssize_t i = 0; i < count; ++i) {
            // A handler may close the port (a disconnect during a run); the rest is dropped.
            if (fd_ < 0)
                return;
            emit byteArrived(quint8(buffer[i]));
        }
    }
}

void QtSerialPort::loseDevice() {
    // A device that vanished (cable pulled, peer gone) reports itself readable again and again
    // until it is closed, which would keep a core busy: close it at once.
    close();
    emit lost();
}
