#pragma once

struct Context;

// Draws a hub link from the rack model: its lamp's number and the device number of the board it
// holds or lost, the warning mark of a lost link on its lamp and its tab, and the status line
// once when the board is lost and once when it is found again. Nothing reads them back.
class LinkLook {
public:
    explicit LinkLook(Context& context) : context_(context) {}

    void onLinkChanged(int link);

private:
    void tellLossOrReturn(int link);

    Context& context_;
};
