#pragma once

#include "state/global_state.h"

struct Context;
class SerialPort;

// Finds the hub boards: for each hub link it probes serial ports 1 ... 30 with query frames,
// waiting the probe wait after each one while the byte arrival keeps the link's answer length
// and device number up to date. In query mode a link takes the first board that answers; in
// bound mode it takes only the board whose device number the binding record holds for it.
class ConnectRun {
public:
    explicit ConnectRun(Context& context) : context_(context) {}

    void onConnectClicked();
    // Query-mode scan of link 1 ... 8; the add-device command uses it too.
    void linkScan(int link);

private:
    void queryRun();
    void boundRun();
    void boundConnect(int link);
    bool boundPass(int link);
    bool probe(int link, int n, const QString& queryText);
    bool openProbe(SerialPort& port);
    bool probing(LinkMode mode) const;
    void noBoardFound(ConnectStage connectStage, const QString& disconnectCaption);

    Context& context_;
};
