#pragma once

struct Context;

// Closes the eight hub links and forgets their answers; device numbers stay.
void linkStop(Context& context);
// Hides the tile area and makes every tile page unavailable.
void tilePageReset(Context& context);
