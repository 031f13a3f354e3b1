#include "hub/byte_arrival.h"

#include "app/context.h"
#include "hub/frame_codec.h"
#include "platform/waits.h"
#include "store/stores.h"
#include "ui/captions.h"
#include "ui/colours.h"
#include "ui/lamp.h"
#include "ui/main_window.h"
#include "ui/styled_button.h"

#include <QListWidget>

namespace {
const QString ListSeparator = QStringLiteral("：");

int lineTile(const QString& line) {
    return line.section(ListSeparator, 0, 0).toInt();
}
} // namespace

void ByteArrival::onByte(int link, quint8 byte) {
    LinkState& state = context_.state.links[size_t(link - 1)];
    if (auto frameText = state.receiver.push(byte, context_.services.waits.nowMs()))
        onFrame(link, *frameText);
}

void ByteArrival::onFrame(int link, const QString& frameText) {
    GlobalState& state = context_.state;
    state.links[size_t(link - 1)].deviceNumber = frame::deviceNumber(frameText);
    state.receivedKey = frame::confirmationKey(frameText);
    state.echoFlag = state.receivedKey.startsWith(QStringLiteral("81")) ? 0 : 1;
    state.keyMismatchFlag = state.receivedKey == state.pending.confirmationKey ? 0 : 1;
    // Only the echo of the switch that is pending now may change a tile: a late echo of an
    // earlier click must not colour the tile clicked since.
    if (state.keyMismatchFlag == 0 && state.echoFlag == 0)
        confirmPendingSwitch();
}

void ByteArrival::confirmPendingSwitch() {
    const PendingSwitch& pending = context_.state.pending;
    const int tile = pending.tileNumber.toInt();
    if (!pending.button || tile < 1 || tile > TileCount)
        return;
    Lamp* lamp = context_.window.tile(tile).lamp;
    if (pending.operation == PendingSwitch::Open) {
        pending.button->setLit(true);
        pending.button->setColourSlot(4, colour::Green);
        pending.button->setColourSlot(1, colour::White);
        pending.button->setColourSlot(2, colour::Blue);
        pending.button->setColourSlot(3, colour::DarkGreen);
        pending.button->setText(captions::TileOpened);
        lamp->setColour(colour::Blue);
        addOpenDeviceLine(tile);
    } else {
        pending.button->setLit(false);
        pending.button->setText(captions::TileClosed);
        lamp->setColour(colour::Red);
        removeOpenDeviceLine(tile);
    }
}

void ByteArrival::addOpenDeviceLine(int tile) {
    QListWidget& list = *context_.window.ui().openDevices;
    // One line per switched-on tile, however often its echo repeats.
    for (int row = 0; row < list.count(); ++row) {
        if (lineTile(list.item(row)->text()) == tile)
            return;
    }
    TableStore& store = context_.store;
    QString remark;
    if (store.openTable(context_.programDir + stores::RemarkFile, stores::RemarkAlias)) {
        store.makeCurrent(stores::RemarkAlias);
        store.goToFirstRecord();
        for (int record = 1; record < tile && record < stores::WalkedRemarkRecords; ++record)
            store.skip();
        remark = store.readField(stores::RemarkField);
    }
    store.closeTable(stores::RemarkAlias);
    context_.state.listRemarkText = remark.isEmpty() ? QStringLiteral("没有备注") : remark;
    list.addItem(QString::number(tile) + ListSeparator + context_.state.listRemarkText);
}

void ByteArrival::removeOpenDeviceLine(int tile) {
    QListWidget& list = *context_.window.ui().openDevices;
    for (int row = 0; row < list.count(); ++row) {
        if (lineTile(list.item(row)->text()) == tile) {
            delete list.takeItem(row);
            return;
        }
    }
}
