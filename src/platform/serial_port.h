#pragma once

#include <QByteArray>
#include <QObject>

#include <memory>

// One serial link to a hub board: 115200 bit/s, 8 data bits, 1 stop bit, no parity, no flow
// control. Every received byte is reported by one byteArrived signal on the UI thread.
class SerialPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Why an open() failed. A device that another program (or another link) holds is busy,
    // not refused: only a refusal says that this account may not use serial devices.
    enum class OpenError { None, NotFound, Busy, PermissionDenied, Other };

    // The next open() uses serial port number n (1 ... 30); an open port stays as it is.
    virtual void setPortNumber(int n) = 0;
    virtual int portNumber() const = 0;
    // The number of the port open now, 0 when none; it may differ from portNumber().
    virtual int openPortNumber() const = 0;
    // Closes whatever this component held open before, then opens the current port number.
    virtual bool open() = 0;
    // Of the last open(): None when it succeeded.
    virtual OpenError lastOpenError() const = 0;
    // Harmless when nothing is open.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // One whole frame per call; nothing is sent when the port is not open.
    virtual void send(const QByteArray& bytes) = 0;

signals:
    void byteArrived(quint8 byte);
    // The device went away while open (cable pulled, board powered off); the port has closed.
    void lost();
};

// Makes the eight link components; the real one opens serial devices, the tests' one fakes them.
class SerialPortFactory {
public:
    virtual ~SerialPortFactory() = default;
    virtual std::unique_ptr<SerialPort> create() = 0;
};
