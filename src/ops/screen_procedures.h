#pragma once

#include <QString>

struct Context;

// Procedures that several handlers run on the window and the links; each is written once here.

// Takes the eight hub links off their ports; what the tiles show stays.
void linkStop(Context& context);
// Hides the tile area and makes every tile page unavailable.
void tilePageReset(Context& context);
// A board answered on link 1 ... 8: both lamps green, its tile page shown, available and titled.
void linkFound(Context& context, int link, const QString& pageTitle);
// Every link is given up: the link stop, then the tile-page reset.
void allLinksLost(Context& context);
// The search, favourite and add-device controls go back to their locked, plain state; the
// search results are emptied, the favourites kept.
void lockSearchControls(Context& context);

// The tiles that read "已打开": those on found links, whose boards can still be told to switch
// them off, and those on links that are lost or stopped, whose slots may still be powered.
struct OpenTiles {
    int switchable = 0;
    int unreachable = 0;
};
OpenTiles openTiles(Context& context);
// The box that refuses a disconnect, a close or an unbinding while tiles are on.
void refuseWhileTilesOpen(Context& context);
