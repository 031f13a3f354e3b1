#pragma once

#include "platform/serial_port.h"

#include <QHash>
#include <QList>
#include <QSet>

#include <functional>

class FakeSerialPort;

// The serial ports 1 ... 30 of a test: which exist, which board or peer answers on each, what
// the program wrote, and bytes waiting to arrive. Bytes reach the program only when deliver()
// runs, which the fake waits do during every wait, as real bytes arrive while the program
// waits.
class FakeSerialBus {
public:
    // Returns the reply to bytes written on the port, possibly none.
    using Peer = std::function<QByteArray(const QByteArray& written)>;

    struct Write {
        QString component; // 端口1 ... 端口8
        int portNumber;
        QByteArray bytes;
    };

    // A port that opens; a peer without replies stands for an unrelated serial device.
    void addPort(int portNumber, Peer peer = {});
    // A device that exists but that this account may not open.
    void refusePort(int portNumber);
    // A hub board that answers query frames with its device number and echoes switch frames.
    void addBoard(int portNumber, quint16 deviceNumber);
    static QByteArray boardReply(quint16 deviceNumber, const QByteArray& written);
    // The device vanishes: the component holding it sees the error and closes.
    void unplug(int portNumber);

    // Bytes that arrive on the port at the next delivery.
    void feed(int portNumber, const QByteArray& bytes);
    void deliver();

    QList<Write> writes;
    QList<Write> writesTo(const QString& component) const;
    int openCount(int portNumber) const { return opens_.value(portNumber); }

private:
    friend class FakeSerialPort;
    SerialPort::OpenError acquire(FakeSerialPort* port, int portNumber);
    void release(FakeSerialPort* port);
    void written(FakeSerialPort* port, const QByteArray& bytes);

    QHash<int, Peer> ports_;
    QSet<int> refused_;
    QHash<int, FakeSerialPort*> holders_;
    QHash<int, int> opens_;
    QList<QPair<int, QByteArray>> pending_;
};

class FakeSerialPort : public SerialPort {
    Q_OBJECT
public:
    explicit FakeSerialPort(FakeSerialBus& bus) : bus_(bus) {}
    ~FakeSerialPort() override { close(); }

    void setPortNumber(int n) override { portNumber_ = n; }
    int portNumber() const override { return portNumber_; }
    bool open() override;
    OpenError lastOpenError() const override { return lastOpenError_; }
    void close() override;
    bool isOpen() const override { return openPort_ != 0; }
    void send(const QByteArray& bytes) override;
    int openPortNumber() const override { return openPort_; }

private:
    friend class FakeSerialBus;
    FakeSerialBus& bus_;
    int portNumber_ = 0;
    int openPort_ = 0;
    OpenError lastOpenError_ = OpenError::None;
};

class FakeSerialPortFactory : public SerialPortFactory {
public:
    explicit FakeSerialPortFactory(FakeSerialBus& bus) : bus_(bus) {}
    std::unique_ptr<SerialPort> create() override { return std::make_unique<FakeSerialPort>(bus_); }

private:
    FakeSerialBus& bus_;
};
