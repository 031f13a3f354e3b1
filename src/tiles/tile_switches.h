#pragma once

#include <QString>

struct Context;

// The life of a tile's switch, in one place: a click sends a frame and the tile waits for its
// echo; the echo confirms it (caption, look, lamp, open-devices line, and the state kept in the
// remark store for the next start); an echo that is overdue shows on the tile until it comes;
// a board found again brings back the tiles it had switched on.
class TileSwitches {
public:
    // How long a board has to echo a switch before the tile says it was not confirmed.
    static constexpr int ConfirmationMs = 1000;
    // How long the states of a burst are gathered before one synced write keeps them all: a
    // prompt echo's state replaces its click's, and the write never holds up the reply that
    // the echo lets go (to a script, say), which leaves on the event loop's next turns.
    static constexpr int SaveDelayMs = 10;

    explicit TileSwitches(Context& context) : context_(context) {}

    // The tile's click sent frameText; its echo is awaited from now on.
    void requested(int tile, bool on, const QString& frameText);
    // The tile's click sent nothing: no late echo may confirm an earlier frame.
    void forgetRequest(int tile);
    // A complete switch echo on link 1 ... 8. An echo that repeats no frame awaited on that
    // link changes nothing.
    void onEcho(int link, const QString& frameText);
    // Link 1 ... 8 holds the board deviceNumber: each of its tiles reads what that board last
    // confirmed, and one whose switch was never confirmed says so. A tile last switched at
    // another board reads off, since this board's slot was never switched by the program.
    void onLinkFound(int link, const QString& deviceNumber);
    // Writes the confirmed states that the remark store does not hold yet, in one transaction.
    void saveStates();

private:
    void confirmed(int tile, bool on);
    void overdue(int tile, const QString& key);
    void showLook(int tile, bool on);
    void keepState(int tile, const QString& deviceNumber);

    Context& context_;
};
