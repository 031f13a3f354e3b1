#pragma once

#include "platform/port_locator.h"
#include "platform/serial_port.h"

class QSerialPort;

// A hub link on a real serial device.
class QtSerialPort : public SerialPort {
    Q_OBJECT
public:
    explicit QtSerialPort(const PortLocator& locator, QObject* parent = nullptr);

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

    const PortLocator& locator_;
    QSerialPort* port_;
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
