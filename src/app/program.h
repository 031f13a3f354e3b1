#pragma once

#include "app/context.h"
#include "app/global_state.h"
#include "hub/byte_arrival.h"
#include "hub/connect_run.h"
#include "ops/disconnect.h"
#include "ops/network_address.h"
#include "store/table_store.h"
#include "tiles/tile_clicks.h"
#include "ui/main_window.h"

#include <memory>
#include <vector>

class SerialPort;

// The whole program on a given set of platform services and a program directory: the window,
// the shared state, the stores, the eight hub links and the handlers wired to their events.
// Construction runs the window-created initialisation; the caller shows the window.
class Program {
public:
    Program(Services services, const QString& programDir);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    MainWindow& window() { return window_; }
    GlobalState& state() { return state_; }
    TableStore& store() { return store_; }
    SerialPort& port(int link) { return *ports_[size_t(link - 1)]; }
    Context& context() { return context_; }

private:
    void wireEvents();

    GlobalState state_;
    MainWindow window_;
    TableStore store_;
    std::vector<std::unique_ptr<SerialPort>> ports_;
    Context context_;
    ByteArrival byteArrival_;
    ConnectRun connectRun_;
    TileClicks tileClicks_;
    Disconnect disconnect_;
    NetworkAddress networkAddress_;
};
