#include "tiles/tile_clicks.h"

#include "hub/frame_codec.h"
#include "platform/serial_port.h"
#include "platform/speech.h"
#include "state/context.h"
#include "tiles/tile_click_rules.h"
#include "tiles/tile_switches.h"
#include "ui/captions.h"
#include "ui/styled_button.h"
#include "ui/tile_numbering.h"

void TileClicks::onTileClicked(StyledButton* button) {
    const int tile = tiles::numberFromName(button->objectName(), tiles::ButtonPrefix);
    if (tile < 1 || tile > TileCount)
        return;
    const int link = tiles::linkOf(tile);
    const int slot = tiles::slotOf(tile);

    GlobalState& state = context_.state;
    TileSwitches switches(context_);
    // Whatever this click sends replaces what the tile awaited; a click that sends nothing
    // leaves nothing for a late echo to confirm.
    switches.forgetRequest(tile);

    if (const auto refused = tile_click_rules::refusal(context_, tile)) {
        context_.services.speech.speak(refused->prompt);
        return;
    }
    const LinkState& linkState = state.links[size_t(link - 1)];
    SerialPort& port = *context_.ports[size_t(link - 1)];
    const QString caption = button->text();
    if (caption == captions::TileClosed || caption == captions::TileOpened) {
        const bool switchOn = caption == captions::TileClosed;
        const QString text = frame::switchText(linkState.address, linkState.deviceNumber, slot,
                                               switchOn ? frame::Command::On : frame::Command::Off);
        port.send(hex_to_bytes(text));
        switches.requested(tile, switchOn, text);
    }
    button->setText(captions::TileClosed);
}
