#pragma once

struct Context;

// A found link whose device vanished is no longer connected: its lamp turns red (the
// connection lamp too once no link is left), and its tiles say "设备未连接" when clicked.
class LinkLoss {
public:
    explicit LinkLoss(Context& context) : context_(context) {}

    void onPortLost(int link);

private:
    Context& context_;
};
