#include "tiles/switch_echoes.h"

#include "hub/frame_codec.h"
#include "state/context.h"
#include "state/rack_events.h"
#include "store/store_session.h"
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

void SwitchEchoes::onEcho(int link, const QString& frameText) {
    const QString key = frame::echoKey(frameText);
    const int first = (link - 1) * SlotsPerLink + 1;
    for (int tile = first; tile < first + SlotsPerLink; ++tile) {
        AwaitedEcho& awaited = context_.state.awaitedEchoes[size_t(tile - 1)];
        if (awaited.key != key)
            continue;
        // Confirmed once: a repeated echo finds nothing left to confirm.
        awaited.key.clear();
        const bool on = awaited.operation == AwaitedEcho::Open;
        if (on)
            switchedOn(tile);
        else
            switchedOff(tile);
        emit context_.events.switchConfirmed(tile, on);
        return;
    }
}

void SwitchEchoes::switchedOn(int tile) {
    const MainWindow::Tile& controls = context_.window.tile(tile);
    StyledButton& button = *controls.button;
    button.setLit(true);
    button.setColourSlot(4, colour::Green);
    button.setColourSlot(1, colour::White);
    button.setColourSlot(2, colour::Blue);
    button.setColourSlot(3, colour::DarkGreen);
    button.setText(captions::TileOpened);
    controls.lamp->setColour(colour::Blue);
    addOpenDeviceLine(tile);
}

void SwitchEchoes::switchedOff(int tile) {
    const MainWindow::Tile& controls = context_.window.tile(tile);
    controls.button->setLit(false);
    controls.button->setText(captions::TileClosed);
    controls.lamp->setColour(colour::Red);
    removeOpenDeviceLine(tile);
}

void SwitchEchoes::addOpenDeviceLine(int tile) {
    QListWidget& list = *context_.window.ui().openDevices;
    // One line per switched-on tile.
    for (int row = 0; row < list.count(); ++row) {
        if (lineTile(list.item(row)->text()) == tile)
            return;
    }
    QString remark;
    {
        const StoreSession remarks = StoreSession::remarks(context_);
        remarks.goToRecord(tile);
        remark = remarks.store().readField(stores::RemarkField);
    }
    list.addItem(QString::number(tile) + ListSeparator +
                 (remark.isEmpty() ? QStringLiteral("没有备注") : remark));
}

void SwitchEchoes::removeOpenDeviceLine(int tile) {
    QListWidget& list = *context_.window.ui().openDevices;
    for (int row = 0; row < list.count(); ++row) {
        if (lineTile(list.item(row)->text()) == tile) {
            delete list.takeItem(row);
            return;
        }
    }
}
