#pragma once

struct Context;

// What a tile shows and waits for, read in one place for everyone outside the tile handlers.
struct TileState {
    // Switched on, confirmed by the board.
    bool on = false;
    // A switch frame went out and its echo has not come yet, within the confirmation time.
    bool awaiting = false;
    // The confirmation time passed without the echo (or a restart found the switch
    // unconfirmed); a late echo still confirms it.
    bool unconfirmed = false;
};

// Tile 1 ... 336.
TileState tileState(const Context& context, int tile);
