#pragma once

struct Context;

// The life of a hub link, one transition each: found on a port, lost when the board's port
// vanishes, stopped when a disconnect, a stop or an unbinding takes it off its port, and let go
// by a scan that probes it again. Every transition tells the rack model and clears what the link
// was probing, and closes the port that a link no longer holds, so
// that no later scan finds it busy.
class LinkLife {
public:
    explicit LinkLife(Context& context) : context_(context) {}

    // The board whose device number the link holds answered on the port it has open.
    void found(int link);
    // The port of link 1 ... 8 vanished. A port that vanishes while a scan probes it was never
    // the link's board, and the scan moves on by itself.
    void onPortLost(int link);
    // Takes the link off its port: a disconnect, a stop, an unbinding, and a scan that begins
    // or ends without a board. A found link becomes stopped; the tiles keep what they show.
    void stop(int link);

private:
    Context& context_;
};
