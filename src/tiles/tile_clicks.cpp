#include "tiles/tile_clicks.h"

#include "platform/speech.h"
#include "rack/rack_model.h"
#include "state/context.h"
#include "tiles/tile_click_rules.h"
#include "tiles/tile_switches.h"
#include "ui/styled_button.h"
#include "ui/tile_numbering.h"

void TileClicks::onTileClicked(StyledButton* button) {
    const int tile = tiles::numberFromName(button->objectName(), tiles::ButtonPrefix);
    if (tile < 1 || tile > TileCount)
        return;
    RackModel& rack = context_.rack;
    // Whatever this click sends replaces what the tile awaited; a click that sends nothing
    // leaves nothing for a late echo to confirm.
    rack.forgetAsked(tile);
    if (const auto refused = tile_click_rules::refusal(context_, tile)) {
        context_.services.speech.speak(refused->prompt);
        return;
    }
    // A slot that is not known to be on is switched on: one that reads off may be powered.
    const bool switchOn = rack.state(tile) != SlotState::On;
    TileSwitches(context_).send({tile}, switchOn, context_.state.switchCause);
}
