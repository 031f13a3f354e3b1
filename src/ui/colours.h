#pragma once

#include <QColor>
#include <QtGlobal>

// Colours are kept as 24-bit values in blue-green-red order, as the boards' operators know
// them from the window design.
namespace colour {
constexpr quint32 Red = 0x0000FF;
constexpr quint32 Green = 0x00FF00;
constexpr quint32 DarkGreen = 0x008000;
constexpr quint32 Blue = 0xFF0000;
constexpr quint32 Yellow = 0x00FFFF;
constexpr quint32 White = 0xFFFFFF;
constexpr quint32 Black = 0x000000;

inline QColor toQColor(quint32 bgr) {
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}
} // namespace colour
