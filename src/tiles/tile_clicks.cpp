#include "tiles/tile_clicks.h"

#include "hub/frame_codec.h"
#include "platform/serial_port.h"
#include "platform/speech.h"
#include "state/context.h"
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

    if (state.connectDone != 1) {
        context_.services.speech.speak(QStringLiteral("设备正在连接，请稍后"));
        return;
    }
    const LinkState& linkState = state.links[size_t(link - 1)];
    SerialPort& port = *context_.ports[size_t(link - 1)];
    // Only a found link has a port and a board, and a frame needs both its values or it would
    // come out short: a board only ever gets whole twelve-byte frames. The tile of a lost link
    // keeps what it shows until its board is found again.
    if (!linkState.isFound() || linkState.address.isEmpty() || linkState.deviceNumber.isEmpty()) {
        context_.services.speech.speak(QStringLiteral("设备未连接"));
        return;
    }
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
