#pragma once

struct Context;

// What a tile shows and waits for, read in one place for everyone outside the tile handlers.
struct TileState {
    // Switched on, confirmed by the board.
    bool on = false;
    // A switch frame went out and its echo has not come yet.
    bool awaiting = false;
};

// Tile 1 ... 336.
TileState tileState(const Context& context, int tile);
