#include "tiles/link_look.h"

#include "rack/rack_model.h"
#include "state/context.h"
#include "ui/lamp.h"
#include "ui/main_window.h"
#include "ui/status_line.h"
#include "ui/tab_control.h"

namespace {
// As the page titles give it: the board's four hex digits read as one decimal number.
QString decimal(const QString& deviceNumber) {
    return QString::number(deviceNumber.toInt(nullptr, 16));
}

QString linkName(int link) {
    return QStringLiteral("端口") + QString::number(link);
}
} // namespace

void LinkLook::onLinkChanged(int link) {
    const RackModel& rack = context_.rack;
    const auto& ui = context_.window.ui();
    const bool lost = rack.isLost(link);
    const QString device = lost ? rack.lostDevice(link) : rack.foundDevice(link);
    Lamp& lamp = *ui.linkLamps[size_t(link - 1)];
    QString drawn = QString::number(link);
    QString spoken;
    if (!device.isEmpty()) {
        drawn += u'\n' + decimal(device);
        spoken = QStringLiteral("设备号") + decimal(device);
    }
    lamp.setLabel(drawn, spoken);
    lamp.setMark(lost ? Mark::Lost : Mark::None);
    QString tip = linkName(link);
    if (!spoken.isEmpty())
        tip += u' ' + spoken;
    if (lost)
        tip += QStringLiteral(" 已断开");
    lamp.setToolTip(tip);
    ui.tileArea->setPageLost(link - 1, lost);
    tellLossOrReturn(link);
}

// The model tells a link's change as often as anything about it changes; the status line says
// each loss and each return once, by what it said last.
void LinkLook::tellLossOrReturn(int link) {
    const RackModel& rack = context_.rack;
    QString& told = context_.state.lostBoardsTold[size_t(link - 1)];
    if (rack.isLost(link)) {
        if (told == rack.lostDevice(link))
            return;
        told = rack.lostDevice(link);
        context_.window.ui().statusLine->showLine(
            QStringLiteral("%1 设备号%2 已断开，%3个设备可能仍在通电")
                .arg(linkName(link), decimal(told))
                .arg(rack.unknownTiles(link)));
        return;
    }
    if (told.isEmpty())
        return;
    const QString device = std::exchange(told, {});
    // Another board on the link is no return of this one.
    for (int each = 1; each <= LinkCount; ++each) {
        if (rack.foundDevice(each) == device) {
            context_.window.ui().statusLine->showLine(
                QStringLiteral("%1 设备号%2 已重新连接").arg(linkName(each), decimal(device)));
            return;
        }
    }
}
