#include "tiles/power_cycle.h"

#include "platform/waits.h"
#include "state/context.h"
#include "tiles/tile_click_rules.h"
#include "tiles/tile_state.h"
#include "ui/styled_button.h"
#include "ui/tile_numbering.h"

void PowerCycle::onCycleChosen(StyledButton* button) {
    const int tile = tiles::numberFromName(button->objectName(), tiles::ButtonPrefix);
    if (tile >= 1 && tile <= TileCount)
        cycle({tile}, DefaultOffMs, RackEvents::Cause::Click);
}

namespace {
constexpr int MaxPowerCycles = 2;
} // namespace

bool PowerCycle::cycle(const QList<int>& tiles, int offMs, RackEvents::Cause cause) {
    int& going = context_.state.powerCyclesGoing;
    // A cycle chosen during another's off time runs inside it; one level of that is kept, or
    // cycles would pile up without end.
    if (going >= MaxPowerCycles)
        return false;
    ++going;
    for (int tile : tiles) {
        if (tileState(context_, tile).on)
            tile_click_rules::click(context_, tile, cause);
    }
    context_.services.waits.wait(offMs);
    // A window that agreed to close meanwhile gets no more frames sent from it.
    for (int tile : context_.state.closing ? QList<int>{} : tiles) {
        if (!tileState(context_, tile).on)
            tile_click_rules::click(context_, tile, cause);
    }
    --going;
    return true;
}
