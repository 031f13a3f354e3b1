#include "platform/qt_serial_port.h"

#include <QSerialPort>

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
    if (path.isEmpty())
        return false;
    port_->setPortName(path);
    port_->setBaudRate(QSerialPort::Baud115200);
    port_->setDataBits(QSerialPort::Data8);
    port_->setStopBits(QSerialPort::OneStop);
    port_->setParity(QSerialPort::NoParity);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadWrite))
        return false;
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
