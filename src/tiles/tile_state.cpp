#include "tiles/tile_state.h"

#include "state/context.h"
#include "ui/captions.h"
#include "ui/main_window.h"
#include "ui/styled_button.h"

TileState tileState(const Context& context, int tile) {
    return TileState{
        .on = context.window.tile(tile).button->text() == captions::TileOpened,
        .awaiting = !context.state.awaitedEchoes[size_t(tile - 1)].key.isEmpty(),
    };
}
