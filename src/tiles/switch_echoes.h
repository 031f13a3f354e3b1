#pragma once

#include <QString>

struct Context;

// A board's echo of a tile switch frame confirms the switch on the tile that sent it: the
// tile button's caption and look, its lamp and its line in the open-devices list (列表框1).
class SwitchEchoes {
public:
    explicit SwitchEchoes(Context& context) : context_(context) {}

    // A complete switch echo (frame kind 81) on hub link 1 ... 8. An echo that repeats no
    // frame awaited on that link changes nothing.
    void onEcho(int link, const QString& frameText);

private:
    void switchedOn(int tile);
    void switchedOff(int tile);

    Context& context_;
};
