#pragma once

struct Context;
class StyledButton;

// One handler for all 336 tile buttons: a click asks the tile's board to switch the slot the
// other way and leaves the confirmation to the board's echo.
class TileClicks {
public:
    explicit TileClicks(Context& context) : context_(context) {}

    void onTileClicked(StyledButton* button);

private:
    Context& context_;
};
