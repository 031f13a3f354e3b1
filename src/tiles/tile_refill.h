#pragma once

struct Context;

// Fill mode 1: box N shows the remark of record N, from the current record of the current
// table up to tile 336 or the last record; boxes before it keep their text.
// Fill mode 0: every remark box is emptied.
void refillTiles(Context& context);
