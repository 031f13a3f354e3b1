#include "tiles/tile_switch.h"

#include "state/context.h"
#include "tiles/tile_clicks.h"
#include "ui/main_window.h"
#include "ui/tile_numbering.h"

namespace tile_switch {

std::optional<Refusal> refusal(const Context& context, int tile) {
    if (context.state.connectDone != 1)
        return Refusal{Refusal::Kind::Connecting, QStringLiteral("设备正在连接，请稍后")};
    const LinkState& link = context.state.links[size_t(tiles::linkOf(tile) - 1)];
    // Without both values the frame would come out short and reach whatever device holds
    // the port: a board only ever gets whole twelve-byte frames.
    if (link.address.isEmpty() || link.deviceNumber.isEmpty())
        return Refusal{Refusal::Kind::NotConnected, QStringLiteral("设备未连接")};
    return std::nullopt;
}

void click(Context& context, int tile, RackEvents::Cause cause) {
    bool& scripted = context.state.scriptSwitching;
    // A click nested in this one's waits restores what it found.
    const bool outer = scripted;
    scripted = cause == RackEvents::Cause::Script;
    TileClicks(context).onTileClicked(context.window.tile(tile).button);
    scripted = outer;
}

} // namespace tile_switch
