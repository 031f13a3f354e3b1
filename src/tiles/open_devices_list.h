#pragma once

#include <QString>

struct Context;

// The open-devices list (列表框1): one line per switched-on tile, its number, "：" and its
// remark ("没有备注" without one).
namespace open_devices {
// Adds the line of tile, with its remark as the remark store holds it, unless it is there.
void add(Context& context, int tile, const QString& remark);
void remove(Context& context, int tile);
// Rewrites tile's line, if it has one, to show remark: a saved remark shows at once.
void update(Context& context, int tile, const QString& remark);
} // namespace open_devices
