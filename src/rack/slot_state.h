#pragma once

#include <QString>

// What a tile's slot is, in the words the window's screen-reader texts, scripts and the
// broker all use. Unknown counts as possibly on everywhere: a switch was sent and not echoed,
// or one was pending when the program last ended, or the board that had it on is not in
// reach now.
enum class SlotState { Off, On, Unknown, NotConnected };

inline QString slotWord(SlotState state) {
    switch (state) {
    case SlotState::On:
        return QStringLiteral("on");
    case SlotState::Off:
        return QStringLiteral("off");
    case SlotState::Unknown:
        return QStringLiteral("unknown");
    case SlotState::NotConnected:
        break;
    }
    return QStringLiteral("not connected");
}
