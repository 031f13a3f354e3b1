#include "fakes/fake_serial.h"

void FakeSerialBus::addPort(int portNumber, Peer peer) {
    ports_.insert(portNumber, peer);
}

void FakeSerialBus::refusePort(int portNumber) {
    refused_.insert(portNumber);
}

void FakeSerialBus::addBoard(int portNumber, quint16 deviceNumber) {
    addPort(portNumber, [deviceNumber](const QByteArray& written) {
        return boardReply(deviceNumber, written);
    });
}

QByteArray FakeSerialBus::boardReply(quint16 deviceNumber, const QByteArray& written) {
    if (written.size() != 12)
        return {};
    if (quint8(written[2]) == 0x81)
        return written;
    QByteArray reply = written;
    reply[4] = char(deviceNumber >> 8);
    reply[5] = char(deviceNumber & 0xFF);
    int sum = 0;
    for (int i = 0; i < 9; ++i)
        sum += quint8(reply[i]);
    reply[9] = char(sum & 0xFF);
    return reply;
}

void FakeSerialBus::unplug(int portNumber) {
    ports_.remove(portNumber);
    if (FakeSerialPort* holder = holders_.value(portNumber)) {
        holder->close();
        emit holder->lost();
    }
}

void FakeSerialBus::feed(int portNumber, const QByteArray& bytes) {
    pending_.append({portNumber, bytes});
}

void FakeSerialBus::deliver() {
    // Handlers may feed or write while bytes are delivered; those go out at the next delivery.
    const auto batch = std::exchange(pending_, {});
    for (const auto& [portNumber, bytes] : batch) {
        for (char byte : bytes) {
            FakeSerialPort* holder = holders_.value(portNumber);
            if (!holder)
                break;
            emit holder->byteArrived(quint8(byte));
        }
    }
}

QList<FakeSerialBus::Write> FakeSerialBus::writesTo(const QString& component) const {
    QList<Write> selected;
    for (const Write& write : writes) {
        if (write.component == component)
            selected.append(write);
    }
    return selected;
}

SerialPort::OpenError FakeSerialBus::acquire(FakeSerialPort* port, int portNumber) {
    if (refused_.contains(portNumber))
        return SerialPort::OpenError::PermissionDenied;
    if (!ports_.contains(portNumber))
        return SerialPort::OpenError::NotFound;
    if (holders_.value(portNumber))
        return SerialPort::OpenError::Busy;
    holders_.insert(portNumber, port);
    ++opens_[portNumber];
    return SerialPort::OpenError::None;
}

void FakeSerialBus::release(FakeSerialPort* port) {
    if (port->openPort_ != 0 && holders_.value(port->openPort_) == port)
        holders_.remove(port->openPort_);
}

void FakeSerialBus::written(FakeSerialPort* port, const QByteArray& bytes) {
    writes.append({port->objectName(), port->openPort_, bytes});
    if (const Peer& peer = ports_.value(port->openPort_)) {
        const QByteArray reply = peer(bytes);
        if (!reply.isEmpty())
            feed(port->openPort_, reply);
    }
}

bool FakeSerialPort::open() {
    close();
    lastOpenError_ = bus_.acquire(this, portNumber_);
    if (lastOpenError_ != OpenError::None)
        return false;
    openPort_ = portNumber_;
    return true;
}

void FakeSerialPort::close() {
    bus_.release(this);
    openPort_ = 0;
}

void FakeSerialPort::send(const QByteArray& bytes) {
    if (isOpen())
        bus_.written(this, bytes);
}
