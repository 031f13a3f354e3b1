#pragma once

#include <QString>

struct Context;

// Procedures that several handlers run on the window and the links; each is written once here.

// Closes the eight hub links and forgets their answers; device numbers stay.
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
