#pragma once

#include "hub/dimensions.h"

#include <QRect>
#include <QString>

// Device tile N (1 ... 336) is slot s of hub link k; page k of the tile area shows its 42
// tiles in a 7 x 6 grid, row by row.
namespace tiles {

inline const QString RemarkBoxPrefix = QStringLiteral("超级编辑框");
inline const QString ButtonPrefix = QStringLiteral("超级按钮");
inline const QString LampPrefix = QStringLiteral("外形框");
// Lamps 1 ... 10 are the top strip's; tile N's lamp is number N + 10.
constexpr int LampOffset = 10;

// The decimal number after prefix in name; 0 when name does not carry one.
int numberFromName(const QString& name, const QString& prefix);

QString remarkBoxName(int tile);
QString buttonName(int tile);
QString lampName(int tile);

// Geometry on the tile's page, relative to the tile area.
QRect remarkBoxRect(int tile);
QRect buttonRect(int tile);
QRect lampRect(int tile);

} // namespace tiles
