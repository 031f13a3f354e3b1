#include "tiles/switch_echoes.h"

#include "hub/frame_codec.h"
#include "state/context.h"
#include "tiles/open_devices_list.h"
#include "ui/captions.h"
#include "ui/colours.h"
#include "ui/lamp.h"
#include "ui/main_window.h"
#include "ui/styled_button.h"

void SwitchEchoes::onEcho(int link, const QString& frameText) {
    const QString key = frame::echoKey(frameText);
    const int first = (link - 1) * SlotsPerLink + 1;
    for (int tile = first; tile < first + SlotsPerLink; ++tile) {
        AwaitedEcho& awaited = context_.state.awaitedEchoes[size_t(tile - 1)];
        if (awaited.key != key)
            continue;
        // Confirmed once: a repeated echo finds nothing left to confirm.
        awaited.key.clear();
        if (awaited.operation == AwaitedEcho::Open)
            switchedOn(tile);
        else
            switchedOff(tile);
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
    open_devices_list::add(context_, tile);
}

void SwitchEchoes::switchedOff(int tile) {
    const MainWindow::Tile& controls = context_.window.tile(tile);
    controls.button->setLit(false);
    controls.button->setText(captions::TileClosed);
    controls.lamp->setColour(colour::Red);
    open_devices_list::remove(context_, tile);
}
