#pragma once

struct Context;

// Draws a tile from the rack model: the caption, colours and lamp of on or off, the frame of a
// switch awaited or not confirmed, and the open-devices lines. Nothing reads them back.
class TileLook {
public:
    explicit TileLook(Context& context) : context_(context) {}

    void onTileChanged(int tile);
    // The open-devices lines of boards that are on no link and may still power slots, and the
    // status line once for each board that becomes such.
    void onLinkChanged();
    // Adds the open-devices lines of the tiles switched on since the last time, reading their
    // remarks in one walk of the store.
    void addOpenedLines();

private:
    Context& context_;
};
