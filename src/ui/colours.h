#pragma once

#include <QColor>
#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <utility>

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

// Text must stand out from what it is drawn on by this contrast ratio at least (the usual
// accessibility rule for ordinary text).
constexpr double ReadableContrast = 4.5;

// Relative luminance, 0 for black to 1 for white, as the contrast rule defines it.
inline double luminance(const QColor& c) {
    const auto linear = [](double channel) {
        return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

inline double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The colours to draw text and fill in: the darker of the two is darkened, keeping its hue,
// until the text is readable. The colour slots keep their values (and so their meaning); only
// what is drawn changes, so white on pure green draws as white on a deep green.
inline std::pair<QColor, QColor> readable(QColor text, QColor fill) {
    QColor& darker = luminance(text) < luminance(fill) ? text : fill;
    for (int step = 0; step < 40 && contrast(text, fill) < ReadableContrast; ++step)
        darker = darker.darker(106);
    return {text, fill};
}
} // namespace colour
