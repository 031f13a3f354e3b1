#pragma once

struct Context;

// The open-devices list (列表框1): one line per switched-on tile, its number, "：" and its
// remark ("没有备注" without one).
namespace open_devices {
// Adds the line of tile unless it is there already.
void add(Context& context, int tile);
void remove(Context& context, int tile);
} // namespace open_devices
