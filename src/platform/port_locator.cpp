#include "platform/port_locator.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

PortLocator::PortLocator(QString programDir) {
    const QString ports = programDir + QStringLiteral("/ports");
    if (QFileInfo(ports).isDir())
        portsDir_ = ports;
}

QString PortLocator::devicePath(int n) const {
    if (n < 1)
        return {};
    if (!portsDir_.isEmpty()) {
        const QString entry = portsDir_ + QStringLiteral("/COM") + QString::number(n);
        return QFileInfo::exists(entry) ? entry : QString();
    }
    QStringList paths;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        paths.append(info.systemLocation());
    paths = sortedSystemPorts(paths);
    return n <= paths.size() ? paths[n - 1] : QString();
}

QStringList PortLocator::sortedSystemPorts(QStringList devicePaths) {
    QCollator collator(QLocale::c());
    collator.setNumericMode(true);
    std::sort(devicePaths.begin(), devicePaths.end(),
              [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    return devicePaths;
}
