#include "tiles/tile_state.h"

#include "state/context.h"
#include "ui/captions.h"
#include "ui/main_window.h"
#include "ui/styled_button.h"

TileState tileState(const Context& context, int tile) {
    const StyledButton& button = *context.window.tile(tile).button;
    return TileState{
        .on = button.text() == captions::TileOpened,
        .awaiting = button.confirmation() == StyledButton::Confirmation::Awaited,
        .unconfirmed = button.confirmation() == StyledButton::Confirmation::Missing,
    };
}
