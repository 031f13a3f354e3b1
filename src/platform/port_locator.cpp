#include "platform/port_locator.h"

#include <QCollator>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace {
constexpr qint64 SystemPortsKeptMs = 2000;
}

QString PortLocator::devicePath(int n) const {
    if (n < 1)
        return {};
    const QString ports = programDir_ + QStringLiteral("/ports");
    if (QFileInfo(ports).isDir()) {
        const QString entry = ports + QStringLiteral("/COM") + QString::number(n);
        return QFileInfo::exists(entry) ? entry : QString();
    }
    if (!systemPortsAge_.isValid() || systemPortsAge_.elapsed() > SystemPortsKeptMs) {
        QStringList paths;
        for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
            paths.append(info.systemLocation());
        systemPorts_ = sortedSystemPorts(paths);
        systemPortsAge_.start();
    }
    return n <= systemPorts_.size() ? systemPorts_[n - 1] : QString();
}

QStringList PortLocator::sortedSystemPorts(QStringList devicePaths) {
    QCollator collator(QLocale::c());
    collator.setNumericMode(true);
    std::sort(devicePaths.begin(), devicePaths.end(),
              [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    return devicePaths;
}
