#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

// Serial port number n (1 ... 30) names a device by one rule. When the program's directory
// holds a folder "ports", port n is the entry "ports/COM<n>" there (usually a symlink to a
// device); a missing entry means the port does not exist. Otherwise port n is the n-th of the
// machine's serial ports, sorted by device path with numbers compared as numbers
// (/dev/ttyACM0, /dev/ttyS0, /dev/ttyS1, /dev/ttyS10, /dev/ttyUSB0, ...).
class PortLocator {
public:
    explicit PortLocator(QString programDir) : programDir_(std::move(programDir)) {}

    // The device path of port n, or empty text when there is none.
    QString devicePath(int n) const;

    static QStringList sortedSystemPorts(QStringList devicePaths);

private:
    QString programDir_;
    // Listing the machine's ports takes milliseconds and a scan asks 30 times in a row, so the
    // list is kept briefly; a device plugged in later is seen by the next scan.
    mutable QStringList systemPorts_;
    mutable QElapsedTimer systemPortsAge_;
};
