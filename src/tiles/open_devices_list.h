#pragma once

#include <QString>

struct Context;

// The open-devices list (列表框1): one line per switched-on tile, its number, "：" and its
// remark ("没有备注" without one).
namespace open_devices_list {

// Adds tile's line with the remark from the store, unless the tile has one already.
void add(Context& context, int tile);
void remove(Context& context, int tile);
// Rewrites tile's line, if it has one, to show remark: a saved remark shows at once.
void update(Context& context, int tile, const QString& remark);

} // namespace open_devices_list
