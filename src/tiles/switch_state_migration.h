#pragma once

struct Context;
class KeptSwitches;

// Switch states were once kept in the remark store's third field, by tile: the device number
// of the board that confirmed the slot on, "?" in front while its echo was awaited. Takes them
// over into kept once, then empties that field. False when they could not be taken over; they
// are tried again at the next start.
bool migrateSwitchStates(Context& context, KeptSwitches& kept);
