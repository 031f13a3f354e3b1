#include "tiles/tile_click_rules.h"

#include "rack/rack_model.h"
#include "state/context.h"
#include "tiles/tile_clicks.h"
#include "ui/main_window.h"
#include "ui/tile_numbering.h"

namespace tile_click_rules {

std::optional<Refusal> refusal(const Context& context, int tile) {
    // Only while a run is under way: before any run, or after one that found nothing, the
    // truth is that the tile's board is not connected.
    if (context.state.connectRunsGoing > 0)
        return Refusal{Refusal::Kind::Connecting, QStringLiteral("设备正在连接，请稍后")};
    const int linkNumber = tiles::linkOf(tile);
    const LinkState& link = context.state.links[size_t(linkNumber - 1)];
    // Only a found link has a port and a board, and a frame needs both its values or it would
    // come out short: a board only ever gets whole twelve-byte frames. The tile of a lost link
    // keeps what it shows until its board is found again.
    if (!context.rack.isFound(linkNumber) || link.deviceNumber.isEmpty())
        return Refusal{Refusal::Kind::NotConnected, QStringLiteral("设备未连接")};
    // An echo of either board would confirm the other's slot, and each would take over what the
    // other kept: neither is switched until one is gone.
    if (context.rack.isDuplicate(link.deviceNumber))
        return Refusal{Refusal::Kind::Duplicate,
                       QStringLiteral("发现两个设备号相同的设备：") + link.deviceNumber};
    return std::nullopt;
}

void click(Context& context, int tile, RackEvents::Cause cause) {
    RackEvents::Cause& current = context.state.switchCause;
    // A click nested in this one's waits restores what it found.
    const RackEvents::Cause outer = current;
    current = cause;
    TileClicks(context).onTileClicked(context.window.tile(tile).button);
    current = outer;
}

} // namespace tile_click_rules
