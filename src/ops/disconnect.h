#pragma once

#include <QString>

#include <optional>

struct Context;

// Takes the program off the hub links, from 按钮2_断开 or when the window closes; both are
// refused while a tile on a found link is switched on.
class Disconnect {
public:
    explicit Disconnect(Context& context) : context_(context) {}

    void onDisconnectClicked();
    // A script's disconnect, by the same rules with no box: what the box would say when it is
    // refused (yes answers the question about devices that may be powered), none when done.
    std::optional<QString> disconnectForScript(bool yes);
    // False keeps the window open.
    bool closingCheck();

private:
    // Leaves the links once the rules allow it.
    void leaveRack();
    void stopRun();
    void closeLinks();

    Context& context_;
};
