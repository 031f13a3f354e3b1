#include "platform/qt_serial_port.h"

#include <QFile>
#include <QSerialPort>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {
// Qt reports a device that another program holds or has locked with the same error as one
// that this account may not open. Only the device file's permissions tell them apart, asked
// without opening it again: an open can reset the board behind some adapters.
SerialPort::OpenError openError(QSerialPort::SerialPortError error, const QString& path) {
    if (error == QSerialPort::DeviceNotFoundError)
        return SerialPort::OpenError::NotFound;
    if (error != QSerialPort::PermissionError)
        return SerialPort::OpenError::Other;
    const QByteArray file = QFile::encodeName(path);
    if (::faccessat(AT_FDCWD, file.constData(), R_OK | W_OK, AT_EACCESS) == 0)
        return SerialPort::OpenError::Busy;
    return errno == EACCES || errno == EPERM ? SerialPort::OpenError::PermissionDenied
                                             : SerialPort::OpenError::Other;
}
} // namespace

QtSerialPort::QtSerialPort(const PortLocator& locator, QObject* parent)
    : SerialPort(parent), locator_(locator), port_(new QSerialPort(this)) {
    connect(port_, &QSerialPort::readyRead, this, &QtSerialPort::readAvailable);
    // A device that vanished (cable pulled, peer gone) reports its error again and again
    // until it is closed, which would keep a core busy: close it at once.
    connect(port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if ((error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
             error == QSerialPort::WriteError) &&
            port_->isOpen()) {
            port_->close();
            emit lost();
        }
    });
}

bool QtSerialPort::open() {
    close();
    const QString path = locator_.devicePath(portNumber_);
    if (path.isEmpty()) {
        lastOpenError_ = OpenError::NotFound;
        return false;
    }
    port_->setPortName(path);
    port_->setBaudRate(QSerialPort::Baud115200);
    port_->setDataBits(QSerialPort::Data8);
    port_->setStopBits(QSerialPort::OneStop);
    port_->setParity(QSerialPort::NoParity);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadWrite)) {
        lastOpenError_ = openError(port_->error(), path);
        return false;
    }
    lastOpenError_ = OpenError::None;
    // Whatever the device queued while nobody had it open is no answer to what comes next.
    port_->clear(QSerialPort::Input);
    openPortNumber_ = portNumber_;
    return true;
}

int QtSerialPort::openPortNumber() const {
    return port_->isOpen() ? openPortNumber_ : 0;
}

void QtSerialPort::close() {
    if (port_->isOpen())
        port_->close();
}

bool QtSerialPort::isOpen() const {
    return port_->isOpen();
}

void QtSerialPort::send(const QByteArray& bytes) {
    if (port_->isOpen())
        port_->write(bytes);
}

void QtSerialPort::readAvailable() {
    const QByteArray bytes = port_->readAll();
    for (char byte : bytes) {
        // A handler may close the port (a disconnect during a run); the rest is dropped then.
        if (!port_->isOpen())
            return;
        emit byteArrived(quint8(byte));
    }
}
