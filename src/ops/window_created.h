#pragma once

struct Context;

// Brings the window from its design to its working state once, before the operator can act:
// greets, locks the search controls, makes sure both stores exist, restores the remarks and
// favourites, and restores the bound state when a binding is on record. The tile events are
// routed to their shared handlers by the event wiring before this runs.
void onWindowCreated(Context& context);
