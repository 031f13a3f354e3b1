#pragma once

#include <QObject>
#include <QString>

// What happens on the rack and to the operator, as it happens: the tile switches asked for and
// what became of them, links found and lost, prompts spoken. Handlers report here; whoever
// wants to follow (the window's status line, the scripting channel) connects in the event
// table. Nothing here changes state.
class RackEvents : public QObject {
    Q_OBJECT
public:
    // Who asked for a switch: the operator at the window, or a script through the control channel.
    enum class Cause { Click, Script };
    Q_ENUM(Cause)

    // The frame for tile 1 ... 336 went out; on says which way.
    Q_SIGNAL void switchRequested(int tile, bool on, RackEvents::Cause cause);
    // The board echoed it.
    Q_SIGNAL void switchConfirmed(int tile, bool on);
    // No echo came within the confirmation time; a later echo still confirms.
    Q_SIGNAL void switchUnconfirmed(int tile, bool on);
    // Link 1 ... 8 holds a board on serial port portNumber.
    Q_SIGNAL void linkFound(int link, const QString& deviceNumber, int portNumber);
    // The board's port vanished, or the link was stopped.
    Q_SIGNAL void linkLost(int link);
    Q_SIGNAL void promptSpoken(const QString& text);
    // A power cycle of tile ended before switching it back on; reason says why.
    Q_SIGNAL void powerCycleCutShort(int tile, const QString& reason);
    // Tile 1 ... 336's remark was written to the store.
    Q_SIGNAL void remarkSaved(int tile, const QString& text);
};
