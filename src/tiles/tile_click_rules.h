#pragma once

#include "state/rack_events.h"

#include <QString>

#include <optional>

struct Context;

// What a tile switch needs before a frame can go out, and the way anyone but the tile's own
// button asks for one: through the same click handler, marked with who asked.
namespace tile_click_rules {

struct Refusal {
    enum class Kind {
        // No query-and-connect run has ended yet, or one is under way.
        Connecting,
        // The tile's hub link holds no board.
        NotConnected,
        // Another found link holds a board with the same device number.
        Duplicate,
    };
    Kind kind;
    // What the operator hears for it.
    QString prompt;
};

// Why a switch of tile 1 ... 336 cannot go out now; none when it can.
std::optional<Refusal> refusal(const Context& context, int tile);

// Clicks tile's button on behalf of cause; the tile's switch reads the cause from
// GlobalState::switchCause while the click runs.
void click(Context& context, int tile, RackEvents::Cause cause);

} // namespace tile_click_rules
