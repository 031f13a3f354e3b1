#pragma once

struct Context;

// Takes the program off the hub links, from 按钮2_断开 or when the window closes; both are
// refused while a tile on a found link is switched on.
class Disconnect {
public:
    explicit Disconnect(Context& context) : context_(context) {}

    void onDisconnectClicked();
    // False keeps the window open.
    bool closingCheck();

private:
    // Leaves the links once the rules allow it.
    void leaveRack();
    void stopRun();
    void closeLinks();

    Context& context_;
};
