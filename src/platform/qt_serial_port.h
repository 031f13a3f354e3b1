#pragma once

#include "platform/port_locator.h"
#include "platform/serial_port.h"

class QSocketNotifier;

// A hub link on a real serial device, read and written on the event loop. The device is held
// exclusively while open: another program that opens it is refused (busy), and so is a
// second link or a second Hubrix.
class QtSerialPort : public SerialPort {
    Q_OBJECT
public:
    explicit QtSerialPort(const PortLocator& locator, QObject* parent = nullptr);
    ~QtSerialPort() override;

    void setPortNumber(int n) override { portNumber_ = n; }
    int portNumber() const override { return portNumber_; }
    int openPortNumber() const override;
    bool open() override;
    OpenError lastOpenError() const override { return lastOpenError_; }
    void close() override;
    bool isOpen() const override;
    void send(const QByteArray& bytes) override;

private:
    void readAvailable();
    void writePending();
    void loseDevice();

    const PortLocator& locator_;
    int fd_ = -1;
    QSocketNotifier* reader_ = nullptr;
    QSocketNotifier* writer_ = nullptr;
    // What the device could not take yet.
    QByteArray unsent_;
    int portNumber_ = 0;
    int openPortNumber_ = 0;
    OpenError lastOpenError_ = OpenError::None;
};

class QtSerialPortFactory : public SerialPortFactory {
public:
    explicit QtSerialPortFactory(const QString& programDir) : locator_(programDir) {}
    std::unique_ptr<SerialPort> create() override {
        return std::make_unique<QtSerialPort>(locator_);
    }

private:
    PortLocator locator_;
};
