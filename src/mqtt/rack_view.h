#pragma once

#include <QList>
#include <QStringList>

struct Context;

// What the broker is told about the rack, read in one place.
namespace rack_view {

// For each of tiles, in order: "on", "off", "unknown" (a switch the board has not confirmed,
// or a slot left on by a board that is no longer there) or "not connected".
QStringList stateWords(Context& context, const QList<int>& tiles);

} // namespace rack_view
