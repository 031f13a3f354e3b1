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

// Whether an action that leaves the boards unreachable (closing, disconnecting, unbinding) may
// go ahead: refused while a tile reads on at a board that can still switch it off; asked, once,
// while slots may be powered that cannot be confirmed off from here (not confirmed, on links
// that are gone, or kept on by boards on no link), since refusing would lock the operator in
// with a board that never echoes. action is the verb of the question, title the box's title.
bool mayLeaveRack(Context& context, const QString& action, const QString& title);
// The question mayLeaveRack asks about possiblyPowered devices.
QString possiblyPoweredQuestion(int possiblyPowered, const QString& action);
